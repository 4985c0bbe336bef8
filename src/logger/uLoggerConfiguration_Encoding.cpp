// The encoding of AppLogger.xml: files written on Windows declare windows-1252 or an
// ISO set, which the XML parser does not read, so they are turned into UTF-8 first.

#include "logger/uLoggerConfiguration.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"

#include <cerrno>
#include <iconv.h>

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

class IconvHandle {
public:
    IconvHandle(const std::string& to, const std::string& from) : handle_(::iconv_open(to.c_str(), from.c_str())) {}
    ~IconvHandle()
    {
        if (IsOpen())
            ::iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool IsOpen() const noexcept { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const noexcept { return handle_; }

private:
    iconv_t handle_;
};

std::string ConvertToUtf8(std::string_view text, const std::string& encoding)
{
    IconvHandle converter("UTF-8", encoding);
    if (!converter.IsOpen())
        throw Exception(FormatText("l'encodage \"%s\" déclaré par le fichier ne peut pas être converti en UTF-8",
                                   Shown(encoding)));
    std::string out(text.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(text.data()); // iconv's signature; the input is only read
    std::size_t inLeft = text.size();
    std::size_t used = 0;
    while (true) {
        char* next = out.data() + used;
        std::size_t outLeft = out.size() - used;
        // A last call with no input ends the shift state of stateful encodings.
        const std::size_t result =
            inLeft > 0 ? ::iconv(converter.Get(), &in, &inLeft, &next, &outLeft)
                       : ::iconv(converter.Get(), nullptr, nullptr, &next, &outLeft);
        used = static_cast<std::size_t>(next - out.data());
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0 && in != nullptr) {
                in = nullptr; // input done: flush once more
                continue;
            }
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        const std::size_t offset = text.size() - inLeft;
        throw Exception(FormatText("l'octet %zu (0x%02X) n'est pas un caractère de l'encodage \"%s\" déclaré par "
                                   "le fichier",
                                   offset, static_cast<unsigned>(static_cast<unsigned char>(text[offset])),
                                   Shown(encoding)));
    }
    out.resize(used);
    return out;
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
