// Tests of read-only files run as a user whose permissions bind, whoever runs the tests.
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ulo::testing {

#if defined(_WIN32)

void runWherePermissionsBind(const std::function<void()>& body) {
    body();
}

#else

namespace {

// Exit codes of the child besides 0 (the body passed).
constexpr int BODY_FAILED = 1;
constexpr int BODY_SKIPPED = 2;
constexpr int NO_USER = 3;

// Gives the working directory to the system user nobody and becomes that user, for good: the
// saved user goes too, so nothing can take the power back.
bool becomeNobody() {
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t user = nobody != nullptr ? nobody->pw_uid : 65534;
    const gid_t group = nobody != nullptr ? nobody->pw_gid : 65534;
    if (::chown(".", user, group) != 0 || ::setgroups(0, nullptr) != 0 ||
        ::setresgid(group, group, group) != 0 || ::setresuid(user, user, user) != 0) {
        std::printf("cannot become the user nobody: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

void runWherePermissionsBind(const std::function<void()>& body) {
    if (::geteuid() != 0) {
        body();
        return;
    }
    std::fflush(nullptr); // nothing buffered here is written twice
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
        int code = NO_USER;
        if (becomeNobody()) {
            body();
            code = ::testing::Test::HasFailure()  ? BODY_FAILED
                   : ::testing::Test::IsSkipped() ? BODY_SKIPPED
                                                  : 0;
        }
        std::fflush(nullptr);
        ::_exit(code); // the test goes on in the parent only
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ASSERT_TRUE(WIFEXITED(status)) << "the unprivileged run ended by signal " << WTERMSIG(status);
    switch (WEXITSTATUS(status)) {
    case 0:
        break;
    case BODY_SKIPPED:
        FAIL() << "skipped as the user nobody, who cannot write anything";
        break;
    case NO_USER:
        FAIL() << "no unprivileged run: the user nobody could not be taken";
        break;
    default:
        FAIL() << "failed as the user nobody (its failures are above)";
        break;
    }
}

#endif

} // namespace ulo::testing
