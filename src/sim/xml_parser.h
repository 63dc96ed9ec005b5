#pragma once
// The XML parser the view loader reads view definitions with. Each platform brings its own
// implementation (pugixml on POSIX, the platform's own parser on Windows) behind this
// interface, created by MakeXmlParser.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace murl::sim {

// The number the view loader fails with when a view definition cannot be read as a panel (the
// platform's "unspecified failure", as a host's loader gives it).
inline constexpr int32_t kUnreadableView = -2147467259;

struct XmlElement {
    std::u16string name;
    std::vector<std::pair<std::u16string, std::u16string>> attributes;  // in document order
    std::vector<XmlElement> children;                                   // elements only

    // The value of attribute `attribute`, or null when the element has none.
    const std::u16string* Attribute(std::u16string_view attribute) const noexcept {
        for (const auto& [name, value] : attributes) {
            if (name == attribute) return &value;
        }
        return nullptr;
    }
};

class XmlParser {
public:
    virtual ~XmlParser() = default;
    // The document element of `text`. A text that is not well-formed XML throws an Error
    // whose description says what is wrong and where.
    virtual XmlElement Parse(std::u16string_view text) = 0;
};

std::unique_ptr<XmlParser> MakeXmlParser();

}  // namespace murl::sim
