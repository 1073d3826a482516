// File names as text for the windows, without loss.
//
// A Linux file name is a string of bytes and need not be valid UTF-8 (names
// written under another locale, or copied from old media). QString::fromUtf8
// turns each invalid byte into U+FFFD, and the name can no longer be opened,
// trashed or written back to the settings. NameToText keeps every valid UTF-8
// sequence as its character and maps each byte of an invalid one to the lone
// surrogate U+DC00 + byte (U+DC80..U+DCFF), which no valid UTF-8 produces;
// TextToName maps those back to their bytes and encodes everything else as
// UTF-8. For valid UTF-8 both are the plain conversions. A lone surrogate
// from anywhere else becomes U+FFFD's bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace arkelin::platform {

QString NameToText(std::string_view bytes);
std::string TextToName(QStringView text);
inline QByteArray TextToNameBytes(QStringView text) { return QByteArray::fromStdString(TextToName(text)); }

// Percent-decoding of one line of a text/uri-list ("file:///a/caf%E9.txt"),
// byte for byte: the local path when the line is a file URI naming this
// computer (no host, or "localhost"), else nothing (empty).
std::string LocalPathOfUri(std::string_view uri);
// A local path as a file URI, every byte outside the unreserved set and "/"
// percent-encoded.
std::string FileUriOf(std::string_view path);

}  // namespace arkelin::platform
