// The reading session. See RarReader.h.
#include "engine/rar/archive/RarReader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engine/rar/UnrarApi.h"
#include "engine/rar/archive/Blake2sp.h"
#include "engine/rar/archive/HeaderReader.h"
#include "engine/rar/archive/PackedStream.h"
#include "engine/common/Crc32.h"

namespace arkelin::engine::rar::archive {

namespace {

namespace zd = arkelin::engine::common;

constexpr size_t kMaxComment = 256 * 1024;

// Checks what a decoder produces on its way to the caller's sink: counts it,
// keeps it within the declared size, and computes the CRC32 and (when the
// archive stores one) the BLAKE2sp of it.
class CheckingSink : public unpack::UnpackedSink {
 public:
  CheckingSink(unpack::UnpackedSink* out, uint64_t limit, bool unlimited, bool blake)
      : out_(out), limit_(limit), unlimited_(unlimited), useBlake_(blake) {}
  bool Write(const uint8_t* data, size_t n) override {
    if (!unlimited_ && n > limit_ - total_) {
      overflow_ = true;
      n = static_cast<size_t>(limit_ - total_);
    }
    if (n > 0) {
      crc_ = zd::Crc32(crc_, data, n);
      if (useBlake_) blake_.Update(data, n);
      total_ += n;
      if (out_ && !out_->Write(data, n)) {
        stopped_ = true;
        return false;
      }
    }
    return !overflow_;
  }
  uint64_t total_ = 0;
  uint32_t crc_ = 0;
  Blake2sp blake_;
  bool overflow_ = false, stopped_ = false;

 private:
  unpack::UnpackedSink* out_;
  uint64_t limit_;
  bool unlimited_, useBlake_;
};

class StringSink : public unpack::UnpackedSink {
 public:
  bool Write(const uint8_t* data, size_t n) override {
    if (s.size() + n > kMaxComment) return false;
    s.append(reinterpret_cast<const char*>(data), n);
    return true;
  }
  std::string s;
};

}  // namespace

RarReader::RarReader(ReaderOptions options) : options_(std::move(options)) {}

RarReader::~RarReader() = default;

int RarReader::Fail(int code, std::string message) {
  message_ = std::move(message);
  return code;
}

bool RarReader::AskPassword(bool forHeaders) {
  if (!options_.askPassword) return false;
  std::string pw;
  const bool ok = options_.askPassword(pw, forHeaders) && !pw.empty();
  if (ok) keys_.SetPassword(SecretBytes(pw));
  WipeMemory(pw.data(), pw.size());
  return ok;
}

void RarReader::SetPassword(const std::string& password) { keys_.SetPassword(SecretBytes(password)); }

int RarReader::Open(const std::string& path) {
  std::string start = path;
  const std::string first = FirstVolumeName(path);
  if (first != path && ::access(first.c_str(), R_OK) == 0) start = first;
  volumes_ = std::make_unique<VolumeSet>(start);
  volumes_->ask = options_.askVolume;
  volumes_->notify = options_.notifyVolume;
  headers_ = std::make_unique<HeaderReader>(*volumes_, keys_, options_.maxKdfLog2);
  const int r = headers_->Open([this] { return AskPassword(true); });
  if (r != 0) return Fail(r, headers_->LastMessage());
  DecodeComment();
  return 0;
}

ArchiveInfo RarReader::Info() const {
  ArchiveInfo info = headers_ ? headers_->Info() : ArchiveInfo{};
  info.comment = comment_;
  info.commentState = commentState_;
  return info;
}

std::vector<std::string> RarReader::VolumeNames() const {
  std::vector<std::string> names;
  if (volumes_)
    for (size_t i = 0; i < volumes_->Count(); ++i) names.push_back(volumes_->Name(i));
  return names;
}

int RarReader::Next(RarEntry& entry) {
  if (!headers_) return Fail(ERAR_BAD_ARCHIVE, "no archive is open");
  if (haveCurrent_ && !processed_) Skip();
  const int r = headers_->Next(current_, options_.includeOrphanParts, [this] { return AskPassword(true); });
  if (r != 0) {
    haveCurrent_ = false;
    return r == ERAR_END_ARCHIVE ? r : Fail(r, headers_->LastMessage());
  }
  haveCurrent_ = true;
  processed_ = false;
  entry = current_;
  return 0;
}

// Entries whose data goes through a decoder and so through the solid stream.
bool RarReader::Decodes(const RarEntry& e) const {
  return !e.isDirectory && !e.Stored() && e.packedSize > 0 && e.problem.empty() && !e.splitBefore;
}

int RarReader::Skip() {
  if (!haveCurrent_ || processed_) return 0;
  processed_ = true;
  const RarEntry& e = current_;
  if (!Decodes(e)) return 0;
  if (!e.solid) {
    pending_.clear();
    streamHasState_ = false;
    streamOk_ = true;
  }
  pending_.push_back(e);
  return 0;
}

bool RarReader::DecoderFormat(const RarEntry& e, unpack::Format& f) {
  if (e.format == RarFormat::Rar5) {
    if (e.rar5Algorithm == 0 || (e.rar5Algorithm == 1 && e.rar5OldAlgorithm)) {
      f = unpack::Format::Rar50;
      return true;
    }
    if (e.rar5Algorithm == 1) {
      f = unpack::Format::Rar70;
      return true;
    }
    return false;
  }
  const unsigned v = e.unpackVersion;
  if (e.method > 5) return false;
  if (v >= 13 && v < 20) f = unpack::Format::Rar15;
  else if (v >= 20 && v < 29) f = unpack::Format::Rar20;
  else if (v >= 29 && v <= 40) f = unpack::Format::Rar29;
  else return false;
  return true;
}

unpack::EntryParams RarReader::DecoderParams(const RarEntry& e) {
  unpack::EntryParams p;
  p.unpackedSize = e.unpackedSize;
  p.unknownSize = e.unknownSize;
  p.solid = e.solid;
  p.dictionarySize = e.dictionarySize;
  return p;
}

std::unique_ptr<PackedStream> RarReader::MakeStream(const RarEntry& e, int& code, std::array<uint8_t, 32>& hashKey,
                                                    bool& mac) {
  mac = false;
  std::unique_ptr<Decryptor> dec;
  if (e.Encrypted()) {
    if (!keys_.HasPassword() && !AskPassword(false)) {
      code = Fail(ERAR_MISSING_PASSWORD, e.name + ": the entry is encrypted and no password was given");
      return nullptr;
    }
    switch (e.crypt.cipher) {
      case Cipher::Aes128: {
        uint8_t key[16], iv[16];
        keys_.Rar3(e.crypt.salt, e.crypt.saltLen, headers_->Rar3Garble(), key, iv);
        dec = MakeAesCbc(key, 16, iv);
        WipeMemory(key, sizeof key);
        break;
      }
      case Cipher::Aes256: {
        const Rar5Keys& k = keys_.Rar5(e.crypt.salt, e.crypt.kdfLog2);
        if (e.crypt.hasCheck && Rar5Check(k, e.crypt.check) == CheckResult::Mismatch) {
          code = Fail(ERAR_BAD_PASSWORD, e.name + ": wrong password");
          return nullptr;
        }
        dec = MakeAesCbc(k.key, 32, e.crypt.iv);
        if (e.crypt.macChecksums) {
          std::memcpy(hashKey.data(), k.hashKey, 32);
          mac = true;
        }
        break;
      }
      case Cipher::Rar20:
        dec = MakeRar20(keys_.Password());
        break;
      case Cipher::Rar15:
        dec = MakeRar15(keys_.Password());
        break;
      default:
        code = Fail(ERAR_ARK_UNSUPPORTED, e.name + ": the RAR 1.3 cipher is not supported");
        return nullptr;
    }
  }
  code = 0;
  return std::make_unique<PackedStream>(*volumes_, e.parts, std::move(dec));
}

std::unique_ptr<unpack::PackedSource> RarReader::OpenPackedData(int& code) {
  if (!haveCurrent_) {
    code = Fail(ERAR_BAD_ARCHIVE, "no current entry");
    return nullptr;
  }
  std::array<uint8_t, 32> hashKey{};
  bool mac = false;
  auto s = MakeStream(current_, code, hashKey, mac);
  WipeMemory(hashKey.data(), hashKey.size());
  return s;
}

int RarReader::CatchUp() {
  for (const RarEntry& p : pending_) {
    if (!streamOk_) break;
    const int r = Decode(p, nullptr);
    if (r != 0) streamOk_ = false;
  }
  pending_.clear();
  return streamOk_ ? 0 : Fail(ERAR_BAD_DATA, current_.name + ": an entry before it in its solid group is damaged");
}

int RarReader::Test(unpack::UnpackedSink* sink) {
  if (!haveCurrent_) return Fail(ERAR_BAD_ARCHIVE, "no current entry");
  processed_ = true;
  const RarEntry& e = current_;
  if (!e.problem.empty()) return Fail(e.problemCode ? e.problemCode : ERAR_BAD_DATA, e.name + ": " + e.problem);
  if (e.splitBefore) return Fail(ERAR_BAD_DATA, e.name + ": it begins in an earlier volume that is not here");
  if (e.isDirectory) {
    if (e.packedSize > 0) return Fail(ERAR_BAD_DATA, e.name + ": a folder entry that carries data");
    return 0;
  }
  // RAR 5 links keep their target in the header and have no data.
  if (e.format == RarFormat::Rar5 && e.redirection != Redirection::None && e.packedSize == 0) return 0;
  if (Decodes(e)) {
    if (!e.solid) {
      pending_.clear();
      streamHasState_ = false;
      streamOk_ = true;
    } else {
      const int r = CatchUp();
      if (r != 0) return r;
    }
  }
  const int r = Decode(e, sink);
  if (Decodes(e) && r != 0) streamOk_ = false;
  return r;
}

int RarReader::Decode(const RarEntry& e, unpack::UnpackedSink* sink) {
  int code = 0;
  std::array<uint8_t, 32> hashKey{};
  bool mac = false;
  auto in = MakeStream(e, code, hashKey, mac);
  if (!in) return code;
  CheckingSink out(sink, e.unpackedSize, e.unknownSize, e.hasBlake2);
  if (e.Stored()) {
    std::vector<uint8_t> buf(256 * 1024);
    for (;;) {
      const std::ptrdiff_t n = in->Read(buf.data(), buf.size());
      if (n < 0) return Fail(in->Error(), e.name + ": the packed data cannot be read");
      if (n == 0) break;
      if (!out.Write(buf.data(), static_cast<size_t>(n))) {
        if (out.stopped_) return Fail(ERAR_UNKNOWN, e.name + ": stopped");
        break;  // the stored data runs on past the declared size (cipher padding)
      }
    }
  } else {
    unpack::Format fmt;
    if (!DecoderFormat(e, fmt))
      return Fail(ERAR_ARK_UNSUPPORTED, e.name + ": compression version " + std::to_string(e.unpackVersion) +
                                            (e.method > 5 ? " with an unknown method" : "") + " is not supported");
    const bool continues = e.solid && unpacker_ && streamHasState_ && fmt == unpackerFormat_;
    // A decoder of the same format starts a new stream when told the entry
    // is not solid, keeping its window and model memory: no new allocation
    // per entry.
    if (!unpacker_ || fmt != unpackerFormat_) {
      std::string err;
      unpacker_ = unpack::Unpacker::Create(fmt, options_.limits, err);
      unpackerFormat_ = fmt;
      streamHasState_ = false;
      if (!unpacker_) return Fail(ERAR_ARK_UNSUPPORTED, e.name + ": " + err);
    }
    unpack::EntryParams params = DecoderParams(e);
    params.solid = continues;
    const unpack::Result res = unpacker_->Unpack(*in, params, out);
    streamHasState_ = true;
    switch (res.status) {
      case unpack::Status::Ok:
        break;
      case unpack::Status::Corrupt:
        return Fail(ERAR_BAD_DATA, e.name + ": " + (res.message.empty() ? "the packed data is damaged" : res.message));
      case unpack::Status::Unsupported:
        return Fail(ERAR_ARK_UNSUPPORTED, e.name + ": " + res.message);
      case unpack::Status::TooLarge:
        return Fail(ERAR_LARGE_DICT, e.name + ": " + res.message);
      case unpack::Status::ReadError:
        return Fail(in->Error() ? in->Error() : ERAR_EREAD, e.name + ": the packed data cannot be read");
      case unpack::Status::Stopped:
        if (out.stopped_) return Fail(ERAR_UNKNOWN, e.name + ": stopped");
        return Fail(ERAR_BAD_DATA, e.name + ": the data runs past its declared size");
    }
  }
  // Stored encrypted data carries the cipher's padding after the file.
  if (out.overflow_ && !(e.Stored() && e.Encrypted())) return Fail(ERAR_BAD_DATA, e.name + ": the data runs past its declared size");
  if (!e.unknownSize && out.total_ != e.unpackedSize)
    return Fail(ERAR_BAD_DATA, e.name + ": " + std::to_string(out.total_) + " bytes instead of " +
                                   std::to_string(e.unpackedSize));
  bool good = true;
  if (e.hasCrc) {
    const uint32_t c = mac ? Rar5MacCrc(hashKey.data(), out.crc_) : out.crc_;
    good = c == e.crc;
  }
  if (good && e.hasBlake2) {
    Digest32 d = out.blake_.Final();
    if (mac) d = Rar5MacHash(hashKey.data(), d);
    good = d == e.blake2;
  }
  WipeMemory(hashKey.data(), hashKey.size());
  if (!good) return Fail(ERAR_BAD_DATA, e.name + (e.Encrypted() ? ": checksum error (damaged data or wrong password)"
                                                                : ": checksum error"));
  return 0;
}

void RarReader::DecodeComment() {
  const auto& src = headers_->Comment();
  if (!src) return;
  const RarEntry& e = src->entry;
  if (e.unpackedSize > kMaxComment) {
    commentState_ = ERAR_SMALL_BUF;
    return;
  }
  std::string text;
  if (src->embedded) {
    if (e.method == 0) {
      text.assign(src->bytes.begin(), src->bytes.begin() + std::min<size_t>(src->bytes.size(), e.unpackedSize));
    } else {
      std::string err;
      const unpack::Format fmt = e.unpackVersion < 20 ? unpack::Format::Rar15 : unpack::Format::Rar20;
      auto dec = unpack::Unpacker::Create(fmt, options_.limits, err);
      if (!dec) {
        commentState_ = ERAR_UNKNOWN_FORMAT;
        return;
      }
      MemorySource in(src->bytes);
      StringSink sink;
      unpack::EntryParams p;
      p.unpackedSize = e.unpackedSize;
      if (dec->Unpack(in, p, sink).status != unpack::Status::Ok) {
        commentState_ = ERAR_BAD_DATA;
        return;
      }
      text = sink.s;
    }
    if ((zd::Crc32(0, text.data(), text.size()) & 0xFFFF) != src->crc16) {
      commentState_ = ERAR_BAD_DATA;
      return;
    }
  } else {
    // A comment header decodes as a stream of its own, never solid.
    auto saved = std::move(unpacker_);
    const bool savedState = streamHasState_;
    RarEntry c = e;
    c.solid = false;
    StringSink sink;
    const int r = Decode(c, &sink);
    unpacker_ = std::move(saved);
    streamHasState_ = savedState;
    if (r != 0) {
      commentState_ = r == ERAR_ARK_UNSUPPORTED ? ERAR_UNKNOWN_FORMAT : r;
      return;
    }
    text = sink.s;
    // The text ends at its first zero byte (RAR 5 writes one, and encrypted
    // comments carry the cipher's padding after it).
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
  }
  comment_ = text;
  commentState_ = 1;
}

}  // namespace arkelin::engine::rar::archive
