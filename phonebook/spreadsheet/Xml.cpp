#include "Xml.h"

#include "Sheet.h"

#include <algorithm>
#include <cstring>
#include <expat.h>

namespace spreadsheet {
namespace {

// Inflated bytes handed to the parser at a time, while it finishes its tokens.
constexpr qint64 kPiece = qint64{64} * 1024;

// What expat found wrong, in the user's words; the rarer faults by their number.
QString xmlFault(XML_Error error) {
    switch (error) {
    case XML_ERROR_NO_MEMORY:
        throw std::bad_alloc();
    case XML_ERROR_SYNTAX:
    case XML_ERROR_INVALID_TOKEN:
        return QStringLiteral("XML'e uymayan bir işaret");
    case XML_ERROR_NO_ELEMENTS:
        return QStringLiteral("hiç öğe yok");
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
        return QStringLiteral("bir işaret yarıda kesiliyor");
    case XML_ERROR_PARTIAL_CHAR:
        return QStringLiteral("yarım bir karakter");
    case XML_ERROR_TAG_MISMATCH:
        return QStringLiteral("bir öğe açıldığı adla kapanmıyor");
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
        return QStringLiteral("bir öznitelik iki kez veriliyor");
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        return QStringLiteral("belge bittikten sonra fazlalık var");
    case XML_ERROR_UNDEFINED_ENTITY:
        return QStringLiteral("tanımsız bir varlık (&...;)");
    case XML_ERROR_BAD_CHAR_REF:
        return QStringLiteral("geçersiz bir karakter başvurusu (&#...;)");
    case XML_ERROR_UNKNOWN_ENCODING:
    case XML_ERROR_INCORRECT_ENCODING:
        return QStringLiteral("kodlaması bilinmiyor ya da bildirdiğine uymuyor");
    case XML_ERROR_UNBOUND_PREFIX:
        return QStringLiteral("tanımsız bir ad alanı öneki");
    default:
        return QStringLiteral("XML hatası %1").arg(static_cast<int>(error));
    }
}

} // namespace

std::string_view localName(const char* qualifiedName) {
    const char* local = qualifiedName;
    const char* end = qualifiedName;
    for (; *end; ++end) {
        if (*end == ':') {
            local = end + 1;
        }
    }
    return {local, static_cast<size_t>(end - local)};
}

std::string_view attribute(XmlAttributes attributes, std::string_view name) {
    for (const char** a = attributes; *a; a += 2) {
        if (localName(*a) == name) {
            return a[1];
        }
    }
    return {};
}

QString toQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void XmlPart::Freer::operator()(XML_ParserStruct* parser) const {
    XML_ParserFree(parser);
}

XmlPart::XmlPart(const ZipArchive& zip, const QString& name, XmlHandler& handler)
    : part_(zip.open(name)), handler_(handler), parser_(XML_ParserCreate(nullptr)) {
    if (!parser_) {
        throw std::bad_alloc();
    }
    XML_SetUserData(parser_.get(), this);
    XML_SetElementHandler(parser_.get(), &XmlPart::onStart, &XmlPart::onEnd);
    XML_SetCharacterDataHandler(parser_.get(), &XmlPart::onCharacters);
    XML_SetStartDoctypeDeclHandler(parser_.get(), &XmlPart::onDoctype);
}

XmlPart::~XmlPart() = default;

void XmlPart::fail(std::exception_ptr error) {
    if (!failure_) {
        failure_ = std::move(error);
        XML_StopParser(parser_.get(), XML_FALSE);
    }
}

// A handler's exception is kept, the parser stopped, and the exception thrown again once expat has
// returned; after a failure no further call reaches the handler.
template <typename Call> void XmlPart::guarded(void* self, Call call) {
    auto& part = *static_cast<XmlPart*>(self);
    if (part.failure_) {
        return;
    }
    XML_Parser parser = part.parser_.get();
    part.handler_.offset_ = XML_GetCurrentByteIndex(parser);
    part.eventEnd_ = part.handler_.offset_ + XML_GetCurrentByteCount(parser);
    try {
        part.part_.charge(kXmlEventBytes);
        call(part);
    } catch (...) {
        part.fail(std::current_exception());
    }
}

void XmlPart::onStart(void* self, const char* name, const char** attributes) {
    guarded(self, [&](XmlPart& part) {
        if (++part.depth_ > kMaxXmlDepth) {
            throw ReadError(QStringLiteral("%1 bölümünde öğeler %2 düzeyden derin iç içe")
                                .arg(part.name())
                                .arg(kMaxXmlDepth));
        }
        part.handler_.startElement(localName(name), attributes);
    });
}

void XmlPart::onEnd(void* self, const char* name) {
    guarded(self, [&](XmlPart& part) {
        --part.depth_;
        part.handler_.endElement(localName(name));
    });
}

void XmlPart::onCharacters(void* self, const char* text, int length) {
    guarded(self, [&](XmlPart& part) {
        part.handler_.characters(std::string_view(text, static_cast<size_t>(length)));
    });
}

void XmlPart::onDoctype(void* self, const char*, const char*, const char*, int) {
    auto& part = *static_cast<XmlPart*>(self);
    part.fail(std::make_exception_ptr(ReadError(
        QStringLiteral("%1 bölümü bir belge türü (DOCTYPE) bildiriyor; hiçbir tablo dosyası bunu yapmaz")
            .arg(part.name()))));
}

bool XmlPart::parseMore() {
    if (ended_) {
        return false;
    }
    // Bytes expat holds of a token it has not finished, and parses again with the next piece: the piece
    // grows with them, so that a long token is parsed a few times rather than once per 64 KiB.
    const qint64 unfinished = fed_ - eventEnd_;
    if (unfinished > kMaxTokenBytes) {
        throw ReadError(QStringLiteral("%1 bölümünde %2 KiB'tan uzun bir öğe ya da açıklama var")
                            .arg(name())
                            .arg(kMaxTokenBytes >> 10));
    }
    const qint64 piece = std::max(kPiece, unfinished);
    void* buffer = XML_GetBuffer(parser_.get(), static_cast<int>(piece));
    if (!buffer) {
        throw std::bad_alloc();
    }
    const qint64 got = part_.read(static_cast<char*>(buffer), piece);
    fed_ += got;
    ended_ = got == 0;
    if (XML_ParseBuffer(parser_.get(), static_cast<int>(got), ended_ ? XML_TRUE : XML_FALSE) !=
        XML_STATUS_OK) {
        ended_ = true;
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        throw ReadError(QStringLiteral("%1 bölümü bozuk: %2 (XML'in %3. satırında)")
                            .arg(name(), xmlFault(XML_GetErrorCode(parser_.get())))
                            .arg(XML_GetCurrentLineNumber(parser_.get())));
    }
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    return !ended_;
}

void XmlPart::parseAll() {
    while (parseMore()) {
    }
}

void XmlPart::skipRest() {
    char scrap[16 * 1024];
    while (part_.read(scrap, sizeof scrap) > 0) {
    }
    ended_ = true;
}

} // namespace spreadsheet
