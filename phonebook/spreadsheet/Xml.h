#pragma once

// Parts of .xlsx and .ods files through expat's streaming parser, fed as the part inflates: no part is held
// whole in memory. Element and attribute names are matched by their local name, whatever their prefix.
//
// No spreadsheet part needs a document type declaration, and refusing one keeps entity expansion tricks out;
// nesting deeper than kMaxXmlDepth is refused as it is met, so a few kilobytes of nested elements cost
// nothing. Malformed XML is a damaged file. So is a single token (an element's start tag with its
// attributes, a comment, a processing instruction) longer than kMaxTokenBytes: expat parses a token it has
// not finished again from its start with every piece it is fed, so one long token would cost time growing
// with its square.

#include "Sheet.h"
#include "ZipArchive.h"

#include <exception>
#include <memory>
#include <string_view>
#include <utility>

struct XML_ParserStruct;

namespace spreadsheet {

inline constexpr int kMaxXmlDepth = 256;
inline constexpr qint64 kMaxTokenBytes = qint64(1) << 20;

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

protected:
    // Where in the part the event being handled starts, in bytes.
    qint64 offset() const { return offset_; }

private:
    friend class XmlPart;
    qint64 offset_ = 0;
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
    // Reads what is left of the part without parsing it, so that its checksum is checked.
    void skipRest();
    const QString& name() const { return part_.name(); }
    // A row with data read from the part widens the archive's budget.
    void creditRow() const { part_.creditRow(); }

private:
    struct Freer {
        void operator()(XML_ParserStruct* parser) const;
    };
    // Runs a handler's call for expat, which is C: an exception must not pass through it.
    template <typename Call> static void guarded(void* self, Call call);
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onCharacters(void* self, const char* text, int length);
    static void onDoctype(void* self, const char*, const char*, const char*, int);
    void fail(std::exception_ptr error);

    ZipPart part_;
    XmlHandler& handler_;
    std::unique_ptr<XML_ParserStruct, Freer> parser_;
    std::exception_ptr failure_;
    qint64 fed_ = 0;      // bytes handed to expat
    qint64 eventEnd_ = 0; // where the last event the handler heard of ended
    int depth_ = 0;
    bool ended_ = false;
};

// The rows a handler gathers from a part (its rows(), done() and where(): the row and column it is in), the
// part parsed only as far as the rows asked for need, and then read to its end. Every row the handler
// completed before a fault is handed out before the fault, which names the cell the handler was in.
// `owner` keeps alive the archive and whatever the handler refers to.
template <typename Handler> class XmlRows final : public RowSource {
public:
    template <typename... HandlerArguments>
    XmlRows(std::shared_ptr<const void> owner, const ZipArchive& zip, const QString& part,
            HandlerArguments&&... arguments)
        : owner_(std::move(owner)), handler_(std::forward<HandlerArguments>(arguments)...),
          xml_(zip, part, handler_) {}

    bool next(RowRun& run) override {
        while (handler_.rows().empty() && !handler_.done() && !ended_ && !failure_) {
            try {
                ended_ = !xml_.parseMore();
            } catch (ReadError& error) {
                const auto [row, column] = handler_.where();
                error.locate(row, column);
                failure_ = std::make_exception_ptr(error);
            }
        }
        if (!handler_.rows().empty()) {
            run = std::move(handler_.rows().front());
            handler_.rows().pop_front();
            if (!isBlank(run.cells)) {
                xml_.creditRow();
            }
            return true;
        }
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        if (!ended_) {
            ended_ = true;
            xml_.skipRest();
        }
        return false;
    }

private:
    std::shared_ptr<const void> owner_;
    Handler handler_;
    XmlPart xml_;
    std::exception_ptr failure_;
    bool ended_ = false;
};

} // namespace spreadsheet
