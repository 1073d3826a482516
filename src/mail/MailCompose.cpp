// The mail as text; see MailCompose.h.
#include "mail/MailCompose.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace arkelin::mail {

int TBoundarySource::Next(int range) {
  seed_ = seed_ * 134775813u + 1u;
  return static_cast<int>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(range)) * seed_) >> 32);
}

std::string TBoundarySource::NextBoundary() {
  std::string b = std::string(20, '=') + "54535";
  for (int i = 0; i < 6; ++i) b += static_cast<char>('a' + Next(25));
  b += "====";
  return b;
}

TBoundarySource& TBoundarySource::ForProcess() {
  static TBoundarySource source;
  return source;
}

std::string OneLine(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

namespace {
std::string Joined(const std::vector<std::string>& items) {
  std::string s;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) s += ',';
    s += items[i];
  }
  return OneLine(s);
}

const char* TextTypeFor(TSubType t) {
  switch (t) {
    case mtEnriched: return "text/enriched";
    case mtSgml: return "text/sgml";
    case mtTabSeperated: return "text/tab-separated-values";
    case mtHtml: return "text/html";
    case mtPlain: break;
  }
  return "text/plain";
}

// A name inside a quoted header parameter: quotes and line breaks would end
// the parameter or the line.
std::string QuotedParam(std::string_view name) {
  std::string s(name);
  for (char& c : s)
    if (c == '"' || c == '\r' || c == '\n') c = '_';
  return s;
}
}  // namespace

TExStringList BuildHeader(const TPostMessage& msg, const std::string& boundary, TSubType subType,
                          const std::string& charset) {
  TExStringList h;
  h.Add("From: " + OneLine(msg.FromName) + "<" + OneLine(msg.FromAddress) + ">");
  if (!msg.ToAddress.empty()) h.Add("To: " + Joined(msg.ToAddress));
  if (!msg.ToCarbonCopy.empty()) h.Add("CC: " + Joined(msg.ToCarbonCopy));
  h.SetValue("Subject", OneLine(msg.Subject));
  h.SetValue("X-Mailer", OneLine(msg.LocalProgram));
  h.SetValue("Reply-To", OneLine(msg.ReplyTo));
  h.SetValue("Date", OneLine(msg.Date));
  h.Add("Mime-Version: 1.0");
  if (!boundary.empty())
    h.Add("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
  else
    h.Add(std::string("Content-Type: ") + TextTypeFor(subType) + "; charset=" + OneLine(charset));
  return h;
}

std::string BodyTextLines(const std::vector<std::string>& body) {
  std::string out;
  auto addLine = [&out](std::string_view line) {
    if (!line.empty() && line.front() == '.') out += '.';
    out += line;
    out += "\r\n";
  };
  for (const std::string& entry : body) {
    std::string_view rest(entry);
    for (;;) {
      const std::size_t brk = rest.find_first_of("\r\n");
      if (brk == std::string_view::npos) {
        addLine(rest);
        break;
      }
      addLine(rest.substr(0, brk));
      // CR LF counts as one break; a lone CR or LF as one too.
      std::size_t skip = 1;
      if (rest[brk] == '\r' && brk + 1 < rest.size() && rest[brk + 1] == '\n') skip = 2;
      rest.remove_prefix(brk + skip);
      if (rest.empty()) break;
    }
  }
  return out;
}

std::string AttachmentName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

namespace {
// Slices of this many bytes between keep-alive calls; a multiple of the
// 45-byte base64 block, so that slicing leaves the lines as they are.
constexpr std::size_t kSlice = TNMUUProcessor::kBlockBytes * 93207;  // about 4 MB
}  // namespace

std::string ReadAttachment(const std::string& path, const std::function<void()>& keepAlive) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) throw EFileOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  std::string data;
  char buf[65536];
  std::size_t sinceKeepAlive = 0;
  for (;;) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, f.get());
    data.append(buf, n);
    if (n < sizeof buf) break;
    sinceKeepAlive += n;
    if (keepAlive && sinceKeepAlive >= kSlice) {
      sinceKeepAlive = 0;
      keepAlive();
    }
  }
  if (std::ferror(f.get()))
    throw EFileOpenError("Cannot read file \"" + path + "\". " + std::strerror(errno));
  return data;
}

std::string ComposeBody(const TPostMessage& msg, const std::string& boundary, const std::string& charset,
                        const TNMUUProcessor& encoder, const ComposeEvents& events) {
  if (boundary.empty()) return BodyTextLines(msg.Body);
  std::string out = "--" + boundary + "\r\n" + "Content-Type: text/plain; charset=" + OneLine(charset) + "\r\n\r\n";
  out += BodyTextLines(msg.Body);
  for (const std::string& path : msg.Attachments) {
    const std::string name = QuotedParam(AttachmentName(path));
    const std::string data = ReadAttachment(path, events.keepAlive);
    out += "--" + boundary + "\r\n";
    out += "Content-Type: application/octet-stream; name=\"" + name + "\"\r\n";
    out += encoder.EncodeType == uuMime ? "Content-Transfer-Encoding: base64\r\n"
                                        : "Content-Transfer-Encoding: x-uuencode\r\n";
    out += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
    if (events.encodeStart) events.encodeStart(path);
    if (encoder.EncodeType == uuMime && events.keepAlive) {
      for (std::size_t pos = 0; pos < data.size(); pos += kSlice) {
        if (pos) events.keepAlive();
        encoder.Encode(std::string_view(data).substr(pos, kSlice), out, name);
      }
    } else {
      encoder.Encode(data, out, name);
    }
    if (events.encodeEnd) events.encodeEnd(path);
  }
  out += "--" + boundary + "--\r\n";
  return out;
}

}  // namespace arkelin::mail
