#include "journal.h"

#include "folder.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace record::core {

namespace {

constexpr std::string_view magic = "corvalto-record 1 ";

// CRC-32 (IEEE), enough to tell a journal torn by a crash from a whole one.
std::uint32_t crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes)
        crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// Reads a decimal number and the one separator after it; false on anything else.
template <typename Number>
bool take(std::string_view& text, Number& value, char separator, int base = 10) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end == text.data() || end == text.data() + text.size() ||
        *end != separator)
        return false;
    text.remove_prefix(std::size_t(end - text.data()) + 1);
    return true;
}

} // namespace

std::string encodeJournal(const Contents& contents) {
    const std::string body = contents.score + contents.name;
    char checksum[9];
    const auto end = std::to_chars(checksum, checksum + 8, crc32(body), 16).ptr;
    return std::string(magic) + std::to_string(contents.score.size()) + ' ' +
           std::to_string(contents.name.size()) + ' ' + std::string(checksum, end) + '\n' + body;
}

std::optional<Contents> decodeJournal(std::string_view bytes) {
    if (bytes.substr(0, magic.size()) != magic)
        return std::nullopt;
    bytes.remove_prefix(magic.size());
    std::size_t scoreSize = 0;
    std::size_t nameSize = 0;
    std::uint32_t checksum = 0;
    if (!take(bytes, scoreSize, ' ') || !take(bytes, nameSize, ' ') ||
        !take(bytes, checksum, '\n', 16))
        return std::nullopt;
    if (scoreSize > maxFileSize || nameSize > maxFileSize || bytes.size() != scoreSize + nameSize ||
        crc32(bytes) != checksum)
        return std::nullopt;
    return Contents{std::string(bytes.substr(0, scoreSize)), std::string(bytes.substr(scoreSize))};
}

std::size_t maxJournalSize() {
    // Two of the longest files behind the longest header: the magic, both lengths with a blank
    // after each, eight hex digits of checksum and the line's end; 16 bytes to spare. Counted
    // rather than encoded, since checksumming 192 KiB took most of a store's read.
    const std::size_t lengthDigits = std::to_string(maxFileSize).size();
    return magic.size() + 2 * (lengthDigits + 1) + 8 + 1 + 2 * maxFileSize + 16;
}

} // namespace record::core
