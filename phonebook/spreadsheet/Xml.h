#pragma once

// Pull-parsing helpers shared by the .xlsx and .ods readers.

#include "Sheet.h"

#include <QXmlStreamReader>

namespace spreadsheet {

// The next token of a part. No spreadsheet part needs a document type declaration, and refusing them keeps
// entity expansion tricks out; malformed XML is a damaged file.
inline QXmlStreamReader::TokenType nextToken(QXmlStreamReader& xml, const QString& part) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::DTD) {
        throw ReadError(
            QStringLiteral("part %1 declares a document type, which no spreadsheet does").arg(part));
    }
    if (token == QXmlStreamReader::Invalid) {
        throw ReadError(QStringLiteral("part %1 is damaged: %2").arg(part, xml.errorString()));
    }
    return token;
}

// Attribute by local name, whatever its prefix. The list is taken const: iterating a temporary one would
// copy it.
inline QStringView attribute(const QXmlStreamAttributes& attributes, QLatin1String localName) {
    for (const QXmlStreamAttribute& a : attributes) {
        if (a.name() == localName) {
            return a.value();
        }
    }
    return {};
}

} // namespace spreadsheet
