#pragma once
// The --json output of the commands: one JSON document on standard output, its field names
// documented in the manual page.

#include <QJsonObject>

#include <iosfwd>
#include <string>

class CKSString;

// Writes the document, indented, ending in a line feed.
void PrintJson(std::ostream& out, const QJsonObject& document);

QString JsonText(const CKSString& text);
QString JsonText(const std::string& utf8);
