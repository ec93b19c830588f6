// Test helper for the setup program's tests: reads a shortcut (.lnk) through the shell's own
// shortcut object and tells what it holds, or starts what it starts, as the Start menu does.
//
//   ulo_shortcut LINK            prints the target, the arguments, the working folder and the
//                                icon as PATH,INDEX, one a line, in UTF-8
//   ulo_shortcut --start LINK    starts the target with the arguments in the working folder (here
//                                when the shortcut names none), on this process's standard
//                                handles; waits for it and ends with its exit code
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

struct Shortcut {
    std::wstring target;
    std::wstring arguments;
    std::wstring folder;
    std::wstring icon;
    int iconIndex = 0;
};

constexpr int TEXT_SIZE = 4 * MAX_PATH;

bool readShortcut(const wchar_t* path, Shortcut& shortcut) {
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link)))) {
        return false;
    }
    IPersistFile* file = nullptr;
    bool read = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (read) {
        read = SUCCEEDED(file->Load(path, STGM_READ));
        file->Release();
    }
    if (read) {
        wchar_t text[TEXT_SIZE] = {};
        read = SUCCEEDED(link->GetPath(text, TEXT_SIZE, nullptr, SLGP_RAWPATH));
        shortcut.target = text;
        text[0] = 0;
        read = read && SUCCEEDED(link->GetArguments(text, TEXT_SIZE));
        shortcut.arguments = text;
        text[0] = 0;
        read = read && SUCCEEDED(link->GetWorkingDirectory(text, TEXT_SIZE));
        shortcut.folder = text;
        text[0] = 0;
        read = read && SUCCEEDED(link->GetIconLocation(text, TEXT_SIZE, &shortcut.iconIndex));
        shortcut.icon = text;
    }
    link->Release();
    return read;
}

void printLine(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
}

std::wstring expanded(const std::wstring& text) {
    wchar_t result[TEXT_SIZE] = {};
    return ::ExpandEnvironmentStringsW(text.c_str(), result, TEXT_SIZE) != 0 ? result : text;
}

// Starts the shortcut's command the way the shell does (its paths' environment variables
// expanded), with inheritable standard handles, and returns its exit code.
int start(const Shortcut& shortcut) {
    std::wstring commandLine = L"\"" + expanded(shortcut.target) + L"\" " + shortcut.arguments;
    const std::wstring folder = expanded(shortcut.folder);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        std::fprintf(stderr, "cannot start the shortcut's command (error %lu)\n", ::GetLastError());
        return 125;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 125;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

} // namespace

int main() {
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const bool starting = count == 3 && std::wstring(arguments[1]) == L"--start";
    if (arguments == nullptr || (count != 2 && !starting)) {
        std::fprintf(stderr, "usage: ulo_shortcut [--start] LINK\n");
        return 2;
    }
    ::CoInitialize(nullptr);
    Shortcut shortcut;
    if (!readShortcut(arguments[count - 1], shortcut)) {
        std::fprintf(stderr, "cannot read the shortcut\n");
        return 1;
    }
    if (starting) {
        return start(shortcut);
    }
    printLine(shortcut.target);
    printLine(shortcut.arguments);
    printLine(shortcut.folder);
    printLine(shortcut.icon + L"," + std::to_wstring(shortcut.iconIndex));
    return std::fflush(stdout) == 0 ? 0 : 1;
}
