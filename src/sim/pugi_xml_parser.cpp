// XmlParser on pugixml.

#include <pugixml.hpp>

#include "host/error.h"
#include "sim/xml_parser.h"
#include "text/text.h"

namespace murl::sim {

namespace {

XmlElement Convert(const pugi::xml_node& node) {
    XmlElement element;
    element.name = ToUtf16(node.name());
    for (const auto& attribute : node.attributes()) {
        element.attributes.emplace_back(ToUtf16(attribute.name()), ToUtf16(attribute.value()));
    }
    for (const auto& child : node.children()) {
        if (child.type() == pugi::node_element) element.children.push_back(Convert(child));
    }
    return element;
}

class PugiXmlParser final : public XmlParser {
public:
    XmlElement Parse(std::u16string_view text) override {
        const std::string utf8 = ToUtf8(text);
        pugi::xml_document document;
        const auto result = document.load_buffer(utf8.data(), utf8.size(),
                                                 pugi::parse_default | pugi::parse_declaration,
                                                 pugi::encoding_utf8);
        if (!result) {
            std::u16string description = u"The view definition is not well-formed XML: ";
            description += ToUtf16(result.description());
            description += u" at character ";
            description += DecimalText(CharacterOffset(utf8, result.offset) + 1);
            throw Error(kUnreadableView, std::move(description), u"LoadViewXml");
        }
        const auto root = document.document_element();
        if (!root) {
            throw Error(kUnreadableView, u"The view definition has no document element",
                        u"LoadViewXml");
        }
        return Convert(root);
    }

private:
    // The number of UTF-16 code units before byte `offset` of `utf8`.
    static int64_t CharacterOffset(const std::string& utf8, ptrdiff_t offset) {
        if (offset < 0) offset = 0;
        if (static_cast<size_t>(offset) > utf8.size()) offset = static_cast<ptrdiff_t>(utf8.size());
        return static_cast<int64_t>(ToUtf16(std::string_view(utf8).substr(0, offset)).size());
    }
};

}  // namespace

std::unique_ptr<XmlParser> MakeXmlParser() {
    return std::make_unique<PugiXmlParser>();
}

}  // namespace murl::sim
