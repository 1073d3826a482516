// What the configuration window's source files share: text and file name
// conversion, the mapping of the stored Windows defaults to this machine's
// folders, and the hints the empty mail fields show (the pages set them, the
// loading of the settings recognises them in older files). Internal to
// TF_Settings; nothing outside src/settings includes it.
#pragma once

#include <QString>

#include <string>

#include "platform/NameText.h"
#include "platform/Paths.h"

namespace arkelin::settings {

namespace pf = arkelin::platform;

// Lossless for file names that are not valid UTF-8 (platform/NameText.h).
inline std::string S(const QString& q) { return platform::TextToName(q); }
inline QString Q(const std::string& s) { return platform::NameToText(s); }

// Windows literals of the stored defaults and of older files, mapped to
// this machine's folders; other text stays as it is.
inline QString Mapped(const QString& text) { return Q(pf::MapDefaultPath(S(text))); }
inline QString MappedDefault(const char* literal) { return Q(pf::MapDefaultPath(literal)); }

// What the empty mail fields show.
inline constexpr const char* kServerHint = "Enter SMTP Server";
inline constexpr const char* kNameHint = "Enter your name";
inline constexpr const char* kEmailHint = "Enter your Email address";

}  // namespace arkelin::settings
