#include "cli/CliJson.h"

#include "support/KSString.h"

#include <QJsonDocument>

#include <ostream>

void PrintJson(std::ostream& out, const QJsonObject& document) {
    const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
    out.write(text.constData(), text.size());
    out.flush();
}

QString JsonText(const CKSString& text) {
    return text.ToQString();
}

QString JsonText(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
