// A change of password for the zip library; see ZipRepassJob.h.
#include "engine/zip/dll/zip/ZipRepassJob.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/common/Crc32.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipAes.h"
#include "engine/zip/dll/common/ZipCrypto.h"
#include "engine/zip/dll/common/ZipFormat.h"
#include "engine/zip/dll/unz/EntryDecoder.h"
#include "engine/zip/dll/zip/ZipCompressPool.h"
#include "engine/zip/dll/zip/ZipOutFile.h"
#include "engine/zip/dll/zip/ZipRecordWriter.h"
#include "engine/zip/dll/zip/ZipRewrite.h"

namespace arkelin::engine::zip::zipdll {

namespace {

constexpr size_t kChunk = 1u << 20;
constexpr uint64_t kProgressStep = 64ull << 10;
constexpr uint64_t k32 = 0xFFFFFFFFull;
constexpr size_t kMaxHead = 16 + dll::kAesVerifierSize;

// Refuses the change with a message; nothing has been written.
struct Refused {
  int32_t code;
  std::string text;
};

// One entry of the old archive and where its compressed bytes are.
struct Item {
  size_t index = 0;
  bool encryptNew = false;   // false: a folder, copied as it is
  bool wasEncrypted = false;
  bool wasAes = false;
  dll::LocalHeader lh;
  uint64_t payloadOffset = 0;  // compressed bytes, after the old encryption header
  uint64_t payloadSize = 0;    // without that header and the old code
  uint8_t oldHead[kMaxHead] = {};
  size_t oldHeadSize = 0;
  uint8_t oldCode[dll::kAesCodeSize] = {};
  uint32_t crc = 0;            // the real CRC of the plain data
};

// The old password's decryption state of one entry.
struct OldCrypt {
  std::unique_ptr<dll::ZipCryptoKeys> keys;
  std::unique_ptr<dll::AesCipher> aes;
};

// Reports progress in steps; answers false once the callback asked to stop.
class Meter {
 public:
  explicit Meter(Reporter& rep) : rep_(rep) {}
  bool Add(uint64_t n) {
    pending_ += n;
    while (pending_ >= kProgressStep) {
      if (!rep_.Update(kProgressStep)) return false;
      pending_ -= kProgressStep;
    }
    return !rep_.Stopped();
  }
  bool Flush() {
    const uint64_t n = pending_;
    pending_ = 0;
    return n == 0 || rep_.Update(n);
  }

 private:
  Reporter& rep_;
  uint64_t pending_ = 0;
};

// The decoded bytes of the check: only their CRC is kept.
class CrcSink : public dll::OutputSink {
 public:
  explicit CrcSink(Meter& m) : meter_(m) {}
  bool Write(const uint8_t* data, size_t n) override {
    crc_ = common::Crc32(crc_, data, n);
    return meter_.Add(n);
  }
  uint32_t Crc() const { return crc_; }

 private:
  Meter& meter_;
  uint32_t crc_ = 0;
};

// Compression methods need this version to be read (the AES field adds its own).
uint16_t NeededFor(uint16_t method) {
  switch (method) {
    case dll::kMethodDeflate64: return 21;
    case dll::kMethodBzip2: return 46;
    case dll::kMethodLzma:
    case dll::kMethodZstd:
    case dll::kMethodXz:
    case dll::kMethodPpmd: return 63;
    default: return 20;
  }
}

// Where the entry's bytes are, and its old encryption header and code.
Item Locate(const OldArchive& old, size_t index) {
  const dll::CentralEntry& e = old.dir.entries[index];
  Item it;
  it.index = index;
  it.crc = e.crc;
  if (e.IsDirectory()) return it;
  it.encryptNew = true;
  if (e.flags & dll::kFlagStrongEncryption) throw Refused{kMsgBadArchive, e.name + ": strong encryption is not supported"};
  if (e.IsAes() && (!e.IsEncrypted() || !e.aesVersion || !dll::AesSaltSize(e.aesStrength)))
    throw Refused{kMsgBadArchive, e.name + ": an AES entry without a usable AES field"};
  const dll::ReadResult r = dll::ReadLocalHeader(old.file, e.localOffset, it.lh);
  if (!r.Ok()) throw Refused{kMsgBadArchive, e.name + ": " + r.message};
  const uint64_t start = it.lh.dataOffset;
  if (start + e.compressedSize < start || start + e.compressedSize > old.file.Size())
    throw Refused{kMsgBadArchive, e.name + ": data runs past the end of the archive"};
  it.wasEncrypted = e.IsEncrypted();
  it.wasAes = e.IsAes();
  size_t tail = 0;
  if (it.wasEncrypted) {
    it.oldHeadSize = it.wasAes ? dll::AesSaltSize(e.aesStrength) + dll::kAesVerifierSize : dll::kCryptHeaderSize;
    tail = it.wasAes ? dll::kAesCodeSize : 0;
    if (e.compressedSize < it.oldHeadSize + tail) throw Refused{kMsgBadArchive, e.name + ": the encrypted data is too short"};
    if (!old.file.ReadAt(start, it.oldHead, it.oldHeadSize) ||
        (tail && !old.file.ReadAt(start + e.compressedSize - tail, it.oldCode, tail)))
      throw Refused{kMsgBadArchive, e.name + ": cannot be read from the archive"};
  }
  it.payloadOffset = start + it.oldHeadSize;
  it.payloadSize = e.compressedSize - it.oldHeadSize - tail;
  return it;
}

// Opens the entry with the old password; false when the verifier or the
// check byte says it is the wrong one.
bool OpenOld(const OldArchive& old, const Item& it, const std::string& password, OldCrypt& c) {
  const dll::CentralEntry& e = old.dir.entries[it.index];
  if (it.wasAes) {
    c.aes = std::make_unique<dll::AesCipher>();
    uint8_t verifier[dll::kAesVerifierSize];
    const size_t salt = dll::AesSaltSize(e.aesStrength);
    return c.aes->Init(password, e.aesStrength, it.oldHead, verifier) &&
           std::memcmp(verifier, it.oldHead + salt, dll::kAesVerifierSize) == 0;
  }
  // The local flags decide which check byte the writer used.
  const uint8_t check = dll::CryptCheckByte(it.lh.flags | (e.flags & dll::kFlagDescriptor), e.crc, e.dosTime);
  c.keys = std::make_unique<dll::ZipCryptoKeys>(password);
  uint8_t head[dll::kCryptHeaderSize];
  std::memcpy(head, it.oldHead, sizeof head);
  return c.keys->DecryptHeader(head, check);
}

// Decodes an encrypted entry in full with the old password and checks its
// CRC and authentication code; keeps the CRC an AE-2 entry leaves out.
void Check(const OldArchive& old, Item& it, const std::string& password, Meter& meter) {
  const dll::CentralEntry& e = old.dir.entries[it.index];
  const uint16_t method = e.RealMethod();
  if (!dll::MethodSupported(method))
    throw Refused{kMsgBadArchive, e.name + ": cannot be checked: " + dll::UnsupportedMethodText(method)};
  OldCrypt c;
  if (!OpenOld(old, it, password, c)) throw Refused{kMsgPassword, e.name + ": wrong password"};
  dll::EntryInput in(old.file, it.payloadOffset, it.payloadSize, c.keys.get(), c.aes.get());
  CrcSink sink(meter);
  std::string detail;
  const dll::DecodeResult r = dll::DecodeEntry(method, e.flags, in, e.uncompressedSize, sink, detail);
  if (r == dll::DecodeResult::Stopped) throw Cancelled{};
  if (r == dll::DecodeResult::ReadError) throw Refused{kMsgBadArchive, e.name + ": cannot be read from the archive"};
  if (c.aes) {
    uint8_t code[dll::kAesCodeSize];
    if (!in.Drain()) throw Refused{kMsgBadArchive, e.name + ": cannot be read from the archive"};
    c.aes->Code(code);
    if (std::memcmp(code, it.oldCode, sizeof code) != 0)
      throw Refused{kMsgPassword, e.name + ": the AES authentication code does not match (damaged data or a wrong "
                                           "password)"};
  }
  if (r != dll::DecodeResult::Ok)
    throw Refused{kMsgPassword, e.name + ": cannot be decoded" + (detail.empty() ? "" : ": " + detail) +
                                    (c.keys ? " (wrong password?)" : "")};
  const bool crcStored = !(it.wasAes && e.aesVersion == 2);
  if (crcStored && sink.Crc() != e.crc)
    throw Refused{kMsgPassword, e.name + std::string(": CRC error") + (c.keys ? " (wrong password?)" : "")};
  it.crc = sink.Crc();
}

class Rewriter {
 public:
  Rewriter(const Command& cmd, Reporter& rep, const OldArchive& old, Meter& meter)
      : cmd_(cmd), rep_(rep), old_(old), meter_(meter), buf_(kChunk) {}

  OutEntry Write(const Item& it, OutFile& out) {
    const dll::CentralEntry& e = old_.dir.entries[it.index];
    if (!rep_.NewFile(e.name, e.uncompressedSize)) throw Cancelled{};
    const uint16_t method = e.RealMethod();
    const bool aes = cmd_.aes != 0;
    // Method, sizes, CRC and the version needed are set below, for the new
    // encryption.
    OutEntry oe = KeptEntry(e, out.Position());
    oe.flags = static_cast<uint16_t>((e.flags & ~dll::kFlagDescriptor) | dll::kFlagEncrypted);
    oe.extra = StripExtraBlock(oe.extra, dll::kExtraAes);
    std::string localExtra = StripExtraBlock(StripExtraBlock(it.lh.extra, kExtraZip64), dll::kExtraAes);
    const uint16_t baseNeeded = it.wasAes ? NeededFor(method) : std::max(e.versionNeeded, NeededFor(method));
    size_t overhead = dll::kCryptHeaderSize;
    if (aes) {
      const uint16_t version = AesVersionFor(oe.usize);
      const std::string field = dll::BuildAesExtra(version, cmd_.aes, method);
      oe.extra += field;
      localExtra += field;
      oe.method = kMethodAes;
      oe.needed = std::max<uint16_t>(baseNeeded, 51);
      oe.crc = version == 2 ? 0 : it.crc;
      overhead = dll::AesSaltSize(cmd_.aes) + dll::kAesVerifierSize + dll::kAesCodeSize;
    } else {
      oe.method = method;
      oe.needed = baseNeeded;
      oe.crc = it.crc;
    }
    oe.csize = it.payloadSize + overhead;
    const bool zip64 = oe.usize >= k32 || oe.csize >= k32;
    out.Write(BuildLocalHeader(oe, zip64, localExtra));

    // The new encryption's header: salt and verifier, or the 12 bytes whose
    // last one checks the password against the CRC.
    std::unique_ptr<dll::AesCipher> cipher;
    std::unique_ptr<dll::ZipCryptoKeys> keys;
    if (aes) {
      uint8_t head[kMaxHead];
      const size_t salt = dll::AesSaltSize(cmd_.aes);
      dll::AesRandom(head, salt);
      cipher = std::make_unique<dll::AesCipher>();
      if (!cipher->Init(cmd_.newPassword, cmd_.aes, head, head + salt)) throw WriteError{EIO};
      out.Write(head, salt + dll::kAesVerifierSize);
    } else {
      keys = std::make_unique<dll::ZipCryptoKeys>(cmd_.newPassword);
      const auto h = EncryptionHeader(*keys, static_cast<uint8_t>(it.crc >> 24));
      out.Write(h.data(), h.size());
    }

    OldCrypt from;
    if (it.wasEncrypted && !OpenOld(old_, it, cmd_.password, from))
      throw BadArchive{e.name + ": changed while it was rewritten"};
    for (uint64_t pos = 0; pos < it.payloadSize;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(it.payloadSize - pos, buf_.size()));
      if (!old_.file.ReadAt(it.payloadOffset + pos, buf_.data(), n))
        throw BadArchive{e.name + ": cannot be read from the archive"};
      if (from.aes) from.aes->Decrypt(buf_.data(), n);
      if (from.keys) from.keys->Decrypt(buf_.data(), n);
      if (cipher) cipher->Encrypt(buf_.data(), n);
      if (keys) keys->Encrypt(buf_.data(), n);
      out.Write(buf_.data(), n);
      pos += n;
      if (!meter_.Add(n)) throw Cancelled{};
    }
    if (from.aes) {
      // The bytes read now are the bytes checked before.
      uint8_t code[dll::kAesCodeSize];
      from.aes->Code(code);
      if (std::memcmp(code, it.oldCode, sizeof code) != 0) throw BadArchive{e.name + ": changed while it was rewritten"};
    }
    if (cipher) {
      uint8_t code[dll::kAesCodeSize];
      cipher->Code(code);
      out.Write(code, sizeof code);
    }
    if (cmd_.verbose) rep_.Message(kMsgInfo, "encrypting: " + e.name);
    return oe;
  }

 private:
  const Command& cmd_;
  Reporter& rep_;
  const OldArchive& old_;
  Meter& meter_;
  std::vector<uint8_t> buf_;
};

}  // namespace

int32_t RunChangePassword(const Command& cmdIn, Reporter& rep) {
  Command cmd = cmdIn;
  cmd.archive = ResolveArchive(cmd.archive);
  if (cmd.newPassword.empty()) {
    rep.Message(kMsgBadCommand, "No new password given; " + cmd.archive + " is unchanged");
    return 0;
  }
  OldArchive old;
  if (!LoadOld(cmd.archive, old, rep, true, cmd.codePage)) return 0;

  std::vector<Item> items;
  uint64_t files = 0, checkBytes = 0, copyBytes = 0;
  bool anyEncrypted = false;
  try {
    for (size_t i = 0; i < old.dir.entries.size(); ++i) {
      items.push_back(Locate(old, i));
      const Item& it = items.back();
      if (!it.encryptNew) continue;
      ++files;
      copyBytes += it.payloadSize;
      if (it.wasEncrypted) {
        anyEncrypted = true;
        checkBytes += old.dir.entries[i].uncompressedSize;
      }
    }
    if (files == 0) throw Refused{kMsgWarning, "no file entries to encrypt"};
    if (anyEncrypted && cmd.password.empty()) throw Refused{kMsgPassword, "the password of its encrypted entries is not given"};
  } catch (const Refused& r) {
    rep.Message(r.code, cmd.archive + ": " + r.text + "; the archive is unchanged");
    return 0;
  }
  if (!rep.TotalFiles(files) || !rep.TotalSize(checkBytes + copyBytes)) return 0;

  // Every encrypted entry opens with the old password before a byte is written.
  Meter meter(rep);
  try {
    for (Item& it : items)
      if (it.wasEncrypted) Check(old, it, cmd.password, meter);
  } catch (const Refused& r) {
    rep.Message(r.code, cmd.archive + ": " + r.text + "; the password is not changed and the archive is unchanged");
    return 0;
  } catch (const Cancelled&) {
    return 0;
  }

  OutFile out;
  if (!out.Create(cmd.archive)) {
    rep.Message(kMsgWriteError, cmd.archive + ": cannot create a temporary file beside it: " + ErrText(errno));
    return 0;
  }
  Rewriter writer(cmd, rep, old, meter);
  std::vector<OutEntry> central;
  const bool done = GuardedRewrite(cmd.archive, out, rep, [&] {
    CopyPrefix(old, out);
    for (const Item& it : items) {
      if (!it.encryptNew)
        central.push_back(CopyOldEntry(old, old.dir.entries[it.index], out));
      else
        central.push_back(writer.Write(it, out));
    }
    if (!meter.Flush()) throw Cancelled{};
    CommitRewrite(out, cmd.archive, old, central);
  });
  if (!done) return 0;
  rep.EndOfBatch();
  return static_cast<int32_t>(files);
}

}  // namespace arkelin::engine::zip::zipdll
