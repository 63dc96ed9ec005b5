// XmlParser on the platform's own parser, MSXML 6 (Msxml2.DOMDocument.6.0).

#include "platform/win32/windows_headers.h"

#include <msxml2.h>

#include "host/error.h"
#include "platform/win32/win32_holders.h"
#include "sim/xml_parser.h"
#include "text/text.h"

namespace murl::sim {

namespace {

using win32::Bstr;
using win32::BstrOf;
using win32::ComPtr;
using win32::PutOut;
using win32::TextOf;

// IXMLDOMDocument {2933BF81-7B36-11D2-B20E-00C04F983E60}; MinGW declares it but defines none.
constexpr IID kIidXmlDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

[[noreturn]] void Fail(std::u16string description) {
    throw Error(kUnreadableView, std::move(description), u"LoadViewXml");
}

void FailUnless(HRESULT hr, const char16_t* what) {
    if (FAILED(hr)) Fail(std::u16string(u"The XML parser failed: ") + what);
}

// The text to parse; running out of memory for it is the core's error, as for any other step.
Bstr Source(std::u16string_view text) {
    try {
        return BstrOf(text);
    } catch (const std::bad_alloc&) {
        throw Error(err::kOutOfMemory);
    }
}

// Calls `visit` for every node of `list` (none when it is null); a failure names the count
// or the node as `count_what` or `node_what`.
template <class List, class Visit>
void ForEachNode(List* list, const char16_t* count_what, const char16_t* node_what, Visit&& visit) {
    long count = 0;
    if (list) FailUnless(list->get_length(&count), count_what);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        FailUnless(list->get_item(i, PutOut(node)), node_what);
        visit(node.Get());
    }
}

XmlElement Convert(IXMLDOMNode* node) {
    XmlElement element;
    Bstr name;
    FailUnless(node->get_nodeName(PutOut(name)), u"element name");
    element.name = TextOf(name);

    ComPtr<IXMLDOMNamedNodeMap> attributes;
    FailUnless(node->get_attributes(PutOut(attributes)), u"attributes");
    ForEachNode(attributes.Get(), u"attribute count", u"attribute", [&](IXMLDOMNode* attribute) {
        Bstr attribute_name, value;
        FailUnless(attribute->get_nodeName(PutOut(attribute_name)), u"attribute name");
        FailUnless(attribute->get_text(PutOut(value)), u"attribute value");
        element.attributes.emplace_back(TextOf(attribute_name), TextOf(value));
    });

    ComPtr<IXMLDOMNodeList> children;
    FailUnless(node->get_childNodes(PutOut(children)), u"child nodes");
    ForEachNode(children.Get(), u"child count", u"child node", [&](IXMLDOMNode* child) {
        DOMNodeType type = NODE_INVALID;
        FailUnless(child->get_nodeType(&type), u"node type");
        if (type == NODE_ELEMENT) element.children.push_back(Convert(child));
    });
    return element;
}

class MsxmlParser final : public XmlParser {
public:
    MsxmlParser() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~MsxmlParser() override {
        if (initialized_) CoUninitialize();
    }

    XmlElement Parse(std::u16string_view text) override {
        CLSID clsid;
        FailUnless(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid),
                   u"no Msxml2.DOMDocument.6.0");
        ComPtr<IXMLDOMDocument> document;
        FailUnless(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDocument,
                                    PutOut(document)),
                   u"cannot create the document");
        document->put_async(VARIANT_FALSE);
        const Bstr source = Source(text);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        const HRESULT hr = document->loadXML(source.get(), &loaded);
        if (FAILED(hr) || loaded != VARIANT_TRUE) {
            std::u16string description = u"The view definition is not well-formed XML";
            ComPtr<IXMLDOMParseError> error;
            Bstr reason;
            long position = 0;
            if (SUCCEEDED(document->get_parseError(PutOut(error))) && error &&
                SUCCEEDED(error->get_reason(PutOut(reason)))) {
                std::u16string why(TextOf(reason));
                while (!why.empty() && (why.back() == u'\n' || why.back() == u'\r')) why.pop_back();
                description += u": " + why;
                if (SUCCEEDED(error->get_filepos(&position))) {
                    description += u" at character " + DecimalText(position + 1);
                }
            }
            Fail(std::move(description));
        }
        ComPtr<IXMLDOMElement> root;
        FailUnless(document->get_documentElement(PutOut(root)), u"document element");
        if (!root) Fail(u"The view definition has no document element");
        return Convert(root.Get());
    }

private:
    bool initialized_;
};

}  // namespace

std::unique_ptr<XmlParser> MakeXmlParser() {
    return std::make_unique<MsxmlParser>();
}

}  // namespace murl::sim
