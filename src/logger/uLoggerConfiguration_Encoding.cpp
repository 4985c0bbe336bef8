// The encoding of AppLogger.xml: files written on Windows declare windows-1252 or an
// ISO set, which the XML parser does not read, so they are turned into UTF-8 first.

#include "logger/uLoggerConfiguration.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"
#include "platform/CharsetConversion.h"

namespace morvane {

namespace {
// The value of encoding= in the XML declaration and where it stands; nothing when
// the file opens with no declaration in an ASCII-compatible form (a byte-order mark,
// UTF-16 or UTF-32, is the parser's to read).
struct DeclaredEncoding {
    std::size_t at = 0;
    std::size_t size = 0;
};

bool FindDeclaredEncoding(std::string_view text, DeclaredEncoding& found)
{
    if (!text.starts_with("<?xml"))
        return false;
    const std::size_t end = text.find("?>");
    const std::string_view declaration = text.substr(0, end == std::string_view::npos ? text.size() : end);
    std::size_t pos = declaration.find("encoding");
    if (pos == std::string_view::npos)
        return false;
    pos += 8;
    auto skipBlanks = [&] {
        while (pos < declaration.size() && (declaration[pos] == ' ' || declaration[pos] == '\t' ||
                                            declaration[pos] == '\r' || declaration[pos] == '\n'))
            ++pos;
    };
    skipBlanks();
    if (pos == declaration.size() || declaration[pos] != '=')
        return false;
    ++pos;
    skipBlanks();
    if (pos == declaration.size() || (declaration[pos] != '"' && declaration[pos] != '\''))
        return false;
    const std::size_t close = declaration.find(declaration[pos], pos + 1);
    if (close == std::string_view::npos)
        return false;
    found.at = pos + 1;
    found.size = close - found.at;
    return true;
}

// The name as it may appear in a message: a hostile file must not make it unreadable.
std::string Shown(std::string_view name)
{
    constexpr std::size_t shown = 40;
    return name.size() <= shown ? std::string(name) : std::string(name.substr(0, shown)) + "...";
}

std::string ConvertToUtf8(std::string_view text, const std::string& encoding)
{
    platform::Utf8Conversion converted = platform::ConvertToUtf8(text, encoding);
    switch (converted.status) {
    case platform::Utf8Conversion::Status::Converted:
        break;
    case platform::Utf8Conversion::Status::UnknownCharset:
        throw Exception(FormatText("l'encodage \"%s\" déclaré par le fichier ne peut pas être converti en UTF-8",
                                   Shown(encoding)));
    case platform::Utf8Conversion::Status::InvalidInput: {
        const std::size_t offset = converted.invalidOffset;
        throw Exception(FormatText("l'octet %zu (0x%02X) n'est pas un caractère de l'encodage \"%s\" déclaré par "
                                   "le fichier",
                                   offset, static_cast<unsigned>(static_cast<unsigned char>(text[offset])),
                                   Shown(encoding)));
    }
    }
    return std::move(converted.text);
}
} // namespace

std::string ConfigurationTextAsUtf8(std::string text)
{
    DeclaredEncoding declared;
    if (!FindDeclaredEncoding(text, declared))
        return text;
    const std::string encoding = text.substr(declared.at, declared.size);
    // The Unicode forms are read by the parser itself, from the bytes.
    if (StartsText("UTF", encoding) || StartsText("UCS", encoding))
        return text;
    std::string converted = ConvertToUtf8(text, encoding);
    // The declaration is ASCII, so it stands unchanged at the same place in any encoding
    // that extends ASCII; one that does not cannot be what the file is written in.
    if (converted.compare(0, declared.at + declared.size, text, 0, declared.at + declared.size) != 0)
        throw Exception(FormatText("l'encodage \"%s\" déclaré par le fichier ne peut pas être converti en UTF-8",
                                   Shown(encoding)));
    // The declaration now says what the text is.
    converted.replace(declared.at, declared.size, "UTF-8");
    return converted;
}

} // namespace morvane
