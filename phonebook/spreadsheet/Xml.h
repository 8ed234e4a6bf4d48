#pragma once

// Parts of .xlsx and .ods files through expat's streaming parser, fed as the part inflates: no part is held
// whole in memory. Element and attribute names are matched by their local name, whatever their prefix.
//
// No spreadsheet part needs a document type declaration, and refusing one keeps entity expansion tricks out;
// nesting deeper than kMaxXmlDepth is refused as it is met, so a few kilobytes of nested elements cost
// nothing. Malformed XML is a damaged file.

#include "ZipArchive.h"

#include <exception>
#include <memory>
#include <string_view>

struct XML_ParserStruct;

namespace spreadsheet {

inline constexpr int kMaxXmlDepth = 256;

// expat's attribute list: name, value, name, value, ..., null.
using XmlAttributes = const char**;

std::string_view localName(const char* qualifiedName);
// The value of the attribute with this local name, or an empty view.
std::string_view attribute(XmlAttributes attributes, std::string_view name);
QString toQString(std::string_view utf8);

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(std::string_view name, XmlAttributes attributes) = 0;
    virtual void endElement(std::string_view /*name*/) {}
    virtual void characters(std::string_view /*text*/) {}
};

class XmlPart {
public:
    // Opens the part; nothing is parsed yet.
    XmlPart(const ZipArchive& zip, const QString& name, XmlHandler& handler);
    ~XmlPart();
    XmlPart(const XmlPart&) = delete;
    XmlPart& operator=(const XmlPart&) = delete;

    // Parses the next piece of the part, calling the handler; false once the part has ended. A handler's
    // exception comes out here.
    bool parseMore();
    void parseAll();
    const QString& name() const { return part_.name(); }

private:
    struct Freer {
        void operator()(XML_ParserStruct* parser) const;
    };
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onCharacters(void* self, const char* text, int length);
    static void onDoctype(void* self, const char*, const char*, const char*, int);
    void fail(std::exception_ptr error);

    ZipPart part_;
    XmlHandler& handler_;
    std::unique_ptr<XML_ParserStruct, Freer> parser_;
    std::exception_ptr failure_;
    int depth_ = 0;
    bool ended_ = false;
};

} // namespace spreadsheet
