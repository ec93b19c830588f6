#include "conversation/record_search.hpp"

#include "files/channels.hpp"
#include "runtime/cpu_features.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ULO_X86 1
#endif

namespace ulo {
namespace {

// Bytes looked at together: bit i of a block's masks tells byte i.
constexpr std::size_t BLOCK = 64;
// Blocks whose masks are made in one go.
constexpr std::size_t BLOCKS_AT_ONCE = 32;

// The part of the wanted text that every line holding the text holds as it stands: its longest
// run without a quote (a field stores a quote for two, or keeps one the writer did not double),
// CR or LF (no field holds those). Lines without it are no candidates. A run of nothing but
// spaces and tabs is no use: blank lines, which are no records, may hold it.
struct Needle {
    std::string_view run;
    bool useful = false;
};

Needle needleOf(std::string_view wanted) {
    Needle needle;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= wanted.size(); ++i) {
        if (i == wanted.size() || wanted[i] == '"' || wanted[i] == '\r' || wanted[i] == '\n') {
            if (i - start > needle.run.size()) {
                needle.run = wanted.substr(start, i - start);
            }
            start = i + 1;
        }
    }
    // A longer text is in no field; its start does as well as all of it.
    needle.run = needle.run.substr(0, MAX_FIELD_LENGTH);
    needle.useful = needle.run.find_first_not_of(" \t") != std::string_view::npos;
    return needle;
}

// What a block holds, a bit a byte: line feeds, carriage returns, bytes up to 0x20 (spaces,
// tabs, line ends and other control bytes), quotes, and the places where the needle may start
// (its first byte there, its last byte where it would end).
struct BlockMasks {
    std::uint64_t lf;
    std::uint64_t cr;
    std::uint64_t low;
    std::uint64_t quotes;
    std::uint64_t candidates;
};

// Masks of `count` blocks from `p`. The bytes up to p + count * BLOCK + needle length - 1 are read.
using MaskMaker = void (*)(const std::uint8_t* p, std::size_t count, std::string_view needle,
                           BlockMasks* masks);

void plainMasks(const std::uint8_t* p, std::size_t count, std::string_view needle,
                BlockMasks* masks) {
    const auto first = static_cast<std::uint8_t>(needle.front());
    const auto last = static_cast<std::uint8_t>(needle.back());
    const std::size_t lastOffset = needle.size() - 1;
    for (std::size_t block = 0; block < count; ++block, p += BLOCK) {
        BlockMasks m{};
        for (std::size_t i = 0; i < BLOCK; ++i) {
            const std::uint64_t bit = std::uint64_t{1} << i;
            m.lf |= p[i] == '\n' ? bit : 0;
            m.cr |= p[i] == '\r' ? bit : 0;
            m.low |= p[i] <= ' ' ? bit : 0;
            m.quotes |= p[i] == '"' ? bit : 0;
            m.candidates |= p[i] == first && p[i + lastOffset] == last ? bit : 0;
        }
        masks[block] = m;
    }
}

#ifdef ULO_X86
// A vector's comparison as bits of a block's mask, from bit `at` on.
__attribute__((target("avx2"))) std::uint64_t bits(__m256i hits, std::size_t at) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(hits))) << at;
}

// With AVX2 (processors since 2013); others take the plain way, which reads about as fast as
// reading record by record did.
__attribute__((target("avx2"))) void avx2Masks(const std::uint8_t* p, std::size_t count,
                                               std::string_view needle, BlockMasks* masks) {
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i space = _mm256_set1_epi8(' ');
    const __m256i quote = _mm256_set1_epi8('"');
    const __m256i first = _mm256_set1_epi8(needle.front());
    const __m256i last = _mm256_set1_epi8(needle.back());
    const std::size_t lastOffset = needle.size() - 1;
    for (std::size_t block = 0; block < count; ++block, p += BLOCK) {
        BlockMasks m{};
        for (std::size_t i = 0; i < BLOCK; i += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
            const __m256i ends =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + lastOffset));
            m.lf |= bits(_mm256_cmpeq_epi8(bytes, lf), i);
            m.cr |= bits(_mm256_cmpeq_epi8(bytes, cr), i);
            m.low |= bits(_mm256_cmpeq_epi8(_mm256_min_epu8(bytes, space), bytes), i);
            m.quotes |= bits(_mm256_cmpeq_epi8(bytes, quote), i);
            m.candidates |= bits(
                _mm256_and_si256(_mm256_cmpeq_epi8(bytes, first), _mm256_cmpeq_epi8(ends, last)),
                i);
        }
        masks[block] = m;
    }
}
#endif

bool vectorUnitsAllowed = true;

MaskMaker maskMaker() {
#ifdef ULO_X86
    if (vectorUnitsAllowed && cpuFeatures().avx2) {
        return avx2Masks;
    }
#endif
    return plainMasks;
}

// The number of set bits, without a call into the compiler's library where the processor's own
// instruction is not assumed.
int countBits(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((bits * 0x0101010101010101u) >> 56);
}

// Two blocks' masks side by side: bits 0 to 63 the earlier block, 64 to 127 the later one.
struct BlockPair {
    std::uint64_t earlier;
    std::uint64_t later;

    // The first set bit from `from` on, or 128.
    int firstFrom(int from) const {
        if (from < 64) {
            const std::uint64_t rest = earlier & (~std::uint64_t{0} << from);
            if (rest != 0) {
                return std::countr_zero(rest);
            }
            from = 64;
        }
        const std::uint64_t rest = from < 128 ? later & (~std::uint64_t{0} << (from - 64)) : 0;
        return rest != 0 ? 64 + std::countr_zero(rest) : 128;
    }
    // The last set bit before `before` (at most 128), or -1.
    int lastBefore(int before) const {
        if (before > 64) {
            const std::uint64_t rest =
                before < 128 ? later & ((std::uint64_t{1} << (before - 64)) - 1) : later;
            if (rest != 0) {
                return 127 - std::countl_zero(rest);
            }
            before = 64;
        }
        const std::uint64_t rest =
            before < 64 ? earlier & ((std::uint64_t{1} << before) - 1) : earlier;
        return rest != 0 ? 63 - std::countl_zero(rest) : -1;
    }
    // Whether bit `bit` is set; bits past the pair (a field that would open after it) are not.
    bool has(int bit) const {
        return bit < 128 && ((bit < 64 ? earlier >> bit : later >> (bit - 64)) & 1) != 0;
    }
};

// True when the text of a field whose bytes between its quotes are `stored` is not `wanted`. The
// text ends at the first NUL of those bytes, so it is `wanted` only when they begin with it and
// end there or go on with a NUL.
bool differs(std::string_view stored, std::string_view wanted) {
    if (stored.size() < wanted.size() || stored.compare(0, wanted.size(), wanted) != 0) {
        return true;
    }
    return stored.size() > wanted.size() && stored[wanted.size()] != '\0';
}

// Where the counting of lines stands: right at a line's start, in a line that has or has not yet
// had a byte other than space and tab (a record, or so far a blank line), right after a CR (an
// LF next belongs to its line end).
struct LineState {
    bool atLineStart = true;
    bool content = false;
    bool afterCr = false;
};

// How a part of the search ended: the bytes at hand are scanned; the record was found; no record
// is left; the reader read a record and stands at the next; the bytes at hand are the file's last.
enum class Step { Scanned, Found, Done, Moved, LastBytes };
// One search over the channel's buffer. The channel's read position stays at the start of the
// line being scanned (or, past a long run of spaces and tabs it begins with, at the end of what was
// scanned of those), so that the line stays in the buffer when more of the file is read.
class Search {
public:
    Search(int channelNumber, FileChannel& channel, RecordField field, std::string_view wanted,
           KnowledgeRecord& record)
        : channelNumber_(channelNumber), channel_(channel), stream_(channel.stream), field_(field),
          wanted_(wanted), needle_(needleOf(wanted)), record_(record) {}

    RecordSearch run();

private:
    std::int64_t offsetOf(const std::uint8_t* p) const {
        return stream_.bufferOrigin + (p - stream_.buffer.get());
    }
    void startLine(std::uint8_t* p) {
        line_ = p;
        lineOffset_ = offsetOf(p);
    }
    bool accepts() const {
        return (field_ == RecordField::Key ? record_.key : record_.reply) == wanted_;
    }
    void takeOver();
    Step readLineExactly();
    bool isCandidate(const std::uint8_t* p, const std::uint8_t* end) const;
    bool provesNotWanted(const std::uint8_t* lineStart) const;
    bool provesNotWanted(const std::uint8_t* pairStart, const BlockMasks& earlier,
                         const BlockMasks& later, int candidate) const;
    bool countBlockQuickly(std::uint8_t* p, const BlockMasks& masks);
    Step scanBytes(std::uint8_t* p, std::uint8_t* end, bool withCandidates);
    Step scanBlock(std::uint8_t* p, const BlockMasks* earlier, const BlockMasks& masks);
    Step scanBlocks(std::uint8_t*& p);
    Step readMore(std::uint8_t*& p);

    int channelNumber_;
    FileChannel& channel_;
    ChannelStream& stream_;
    RecordField field_;
    std::string_view wanted_;
    Needle needle_;
    KnowledgeRecord& record_;
    MaskMaker makeMasks_ = maskMaker();
    BlockMasks masks_[BLOCKS_AT_ONCE];
    BlockMasks lastBlock_{};       // the masks of the block scanned last
    bool lastBlockBefore_ = false; // it is the block right before the next one
    std::uint8_t* line_ = nullptr; // where a read of the line being scanned starts
    std::int64_t lineOffset_ = 0;  // where that line really starts in the file
    LineState state_;
    std::int64_t records_ = 0;
};

// Takes over the channel where the reader stands: at the file's start, or at the first byte of
// the record after the one it read last.
void Search::takeOver() {
    line_ = stream_.readPosition;
    lineOffset_ = readerLineStart(channelNumber_);
    state_ = {readerPosition(channel_) == lineOffset_, false, false};
}

// Reads the record of the line being scanned with the reader itself, and leaves the reader at
// the next record.
Step Search::readLineExactly() {
    stream_.readPosition = line_;
    readRecordOfLine(channelNumber_, lineOffset_, record_);
    ++records_;
    if (accepts()) {
        return Step::Found;
    }
    if (atEndOfFile(channelNumber_) != 0) {
        return Step::Done;
    }
    takeOver();
    return Step::Moved;
}

bool Search::isCandidate(const std::uint8_t* p, const std::uint8_t* end) const {
    const std::string_view run = needle_.run;
    return static_cast<std::size_t>(end - p) >= run.size() &&
           std::memcmp(p, run.data(), run.size()) == 0;
}

// True when the line starting at `lineStart` is written as the writer writes lines, whole in the
// buffer as far as the field searched for, and that field is not the text wanted.
bool Search::provesNotWanted(const std::uint8_t* lineStart) const {
    std::string_view texts[2];
    const std::size_t count = field_ == RecordField::Key ? 1 : 2;
    return readWrittenTexts(lineStart, stream_.readEnd, count, texts) &&
           texts[count - 1] != wanted_;
}

// The same for a candidate at bit `candidate` of the later of two blocks in a row, from their
// masks: when its line starts in them, its quotes tell where the key and the reply of a written
// line stand, without looking for them again. `pairStart` is the earlier block's first byte.
bool Search::provesNotWanted(const std::uint8_t* pairStart, const BlockMasks& earlier,
                             const BlockMasks& later, int candidate) const {
    const BlockPair ends{earlier.lf | earlier.cr, later.lf | later.cr};
    const BlockPair quotes{earlier.quotes, later.quotes};
    const int lineStart = ends.lastBefore(64 + candidate) + 1;
    if (lineStart == 0) {
        return provesNotWanted(line_);
    }
    // A quote opens the key, the next closes it (a quote right after it would be doubled).
    int opening = lineStart;
    int closing = quotes.firstFrom(opening + 1);
    const auto byteAt = [pairStart](int bit) { return pairStart[bit]; };
    if (!quotes.has(opening) || closing >= 127 || byteAt(closing + 1) == '"') {
        return false;
    }
    if (field_ == RecordField::Reply) { // then a comma, and the reply's quotes
        opening = closing + 2;
        closing = quotes.firstFrom(opening + 1);
        if (byteAt(opening - 1) != ',' || !quotes.has(opening) || closing >= 127 ||
            byteAt(closing + 1) == '"') {
            return false;
        }
    }
    if (ends.firstFrom(lineStart) < closing) { // the line ends before the field's quote
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(pairStart + opening + 1),
                                static_cast<std::size_t>(closing - opening - 1));
    return differs(text, wanted_);
}

// Counts the lines that the block ends straight from its masks, when every line that starts in
// it starts with a byte above 0x20: then none of them is blank, and every line end ends a record.
// False, and nothing counted, otherwise.
bool Search::countBlockQuickly(std::uint8_t* p, const BlockMasks& m) {
    if ((state_.afterCr && (m.lf & 1) == 0) || (!state_.atLineStart && !state_.content)) {
        return false;
    }
    const std::uint64_t crLfTail = state_.afterCr ? 1 : 0; // the LF of a CR LF split by the block
    const std::uint64_t loneCr = m.cr & ~(m.lf >> 1);
    const std::uint64_t ends = m.cr | (m.lf & ~(m.cr << 1) & ~crLfTail);
    std::uint64_t starts = (m.lf << 1) | (loneCr << 1);
    if (state_.atLineStart && !state_.afterCr) {
        starts |= 1;
    }
    if ((starts & m.low) != 0) {
        return false;
    }
    records_ += countBits(ends);
    const bool endsWithCr = (m.cr >> 63) != 0;
    const bool endsWithLf = (m.lf >> 63) != 0;
    if (endsWithCr || endsWithLf) {
        state_ = {true, false, endsWithCr};
        startLine(p + BLOCK);
    } else {
        state_ = {false, true, false};
        if (starts != 0) {
            startLine(p + (63 - std::countl_zero(starts)));
        }
    }
    return true;
}

// The bytes of [p, end) one by one. With `withCandidates`, each place where the needle starts
// is a candidate, or, without a useful needle, each line once it shows that it is no blank line.
Step Search::scanBytes(std::uint8_t* p, std::uint8_t* end, bool withCandidates) {
    for (; p < end; ++p) {
        const std::uint8_t byte = *p;
        if (byte == '\n' && state_.afterCr) {
            state_.afterCr = false;
            startLine(p + 1);
        } else if (byte == '\n' || byte == '\r') {
            records_ += state_.content ? 1 : 0;
            state_ = {true, false, byte == '\r'};
            startLine(p + 1);
        } else {
            const bool blank = byte == ' ' || byte == '\t';
            const bool showsRecord = !blank && !state_.content;
            state_ = {false, state_.content || !blank, false};
            if (withCandidates && (needle_.useful ? isCandidate(p, end) : showsRecord)) {
                return readLineExactly();
            }
        }
    }
    return Step::Scanned;
}

// One block: its candidates first (each shown by the written form of its line not to be the
// record wanted, or read exactly), then its lines counted.
Step Search::scanBlock(std::uint8_t* p, const BlockMasks* earlier, const BlockMasks& m) {
    for (std::uint64_t candidates = m.candidates; candidates != 0; candidates &= candidates - 1) {
        const int at = std::countr_zero(candidates);
        if (!isCandidate(p + at, stream_.readEnd)) {
            continue;
        }
        const std::uint64_t before = (m.lf | m.cr) & ((std::uint64_t{1} << at) - 1);
        const bool proved =
            earlier != nullptr
                ? provesNotWanted(p - BLOCK, *earlier, m, at)
                : provesNotWanted(before != 0 ? p + 64 - std::countl_zero(before) : line_);
        if (proved) {
            continue;
        }
        scanBytes(p, p + at, false);
        return readLineExactly();
    }
    if (!countBlockQuickly(p, m)) {
        scanBytes(p, p + BLOCK, false);
    }
    return Step::Scanned;
}

// The whole blocks from `p` whose candidates can be checked with the bytes at hand.
Step Search::scanBlocks(std::uint8_t*& p) {
    const std::size_t reach = BLOCK + needle_.run.size() - 1;
    while (static_cast<std::size_t>(stream_.readEnd - p) >= reach) {
        const std::size_t count = std::min(
            BLOCKS_AT_ONCE, (static_cast<std::size_t>(stream_.readEnd - p) - reach) / BLOCK + 1);
        makeMasks_(p, count, needle_.run, masks_);
        for (std::size_t block = 0; block < count; ++block, p += BLOCK) {
            const BlockMasks* earlier = block > 0          ? &masks_[block - 1]
                                        : lastBlockBefore_ ? &lastBlock_
                                                           : nullptr;
            const Step step = scanBlock(p, earlier, masks_[block]);
            if (step == Step::Moved) {
                p = stream_.readPosition;
                lastBlockBefore_ = false;
                break;
            }
            if (step != Step::Scanned) {
                return step;
            }
            lastBlock_ = masks_[block];
            lastBlockBefore_ = true;
        }
    }
    return Step::Scanned;
}

// Reads more of the file after the bytes scanned, keeping the line being scanned. A line longer
// than the buffer cannot be kept: while it has been blank so far, what was scanned of it is let
// go; once it shows it is a record, it is read exactly, however long it is.
Step Search::readMore(std::uint8_t*& p) {
    if (!state_.content && stream_.readEnd - line_ == FILE_BUFFER_SIZE && p != line_) {
        line_ = p; // still within the line's leading spaces and tabs; lineOffset_ stays
    }
    stream_.readPosition = line_;
    lastBlockBefore_ = false; // the bytes before the line are let go
    const ReadMore more = readMoreKeepingUnread(channel_);
    p -= line_ - stream_.readPosition;
    line_ = stream_.readPosition;
    if (more == ReadMore::NoRoom) {
        return readLineExactly();
    }
    return more == ReadMore::Read ? Step::Scanned : Step::LastBytes;
}

RecordSearch Search::run() {
    takeOver();
    std::uint8_t* p = line_;
    for (;;) {
        Step step = Step::Scanned;
        if (needle_.useful) {
            step = scanBlocks(p);
        } else {
            step = scanBytes(p, stream_.readEnd, true);
            p = step == Step::Scanned ? stream_.readEnd : p;
        }
        if (step == Step::Scanned) {
            step = readMore(p);
        }
        if (step == Step::LastBytes) {
            step = scanBytes(p, stream_.readEnd, true);
            if (step == Step::Scanned) {
                records_ += state_.content ? 1 : 0; // a last line without its line end
                step = Step::Done;
            }
        }
        if (step == Step::Found || step == Step::Done) {
            return {records_, step == Step::Found};
        }
        if (step == Step::Moved) {
            p = stream_.readPosition;
        }
    }
}

} // namespace

void letSearchUseVectorUnits(bool allowed) {
    vectorUnitsAllowed = allowed;
}

RecordSearch searchRecords(int channel, RecordField field, std::string_view wanted,
                           KnowledgeRecord& record) {
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr) {
        return {};
    }
    return Search(channel, *slot, field, wanted, record).run();
}

} // namespace ulo
