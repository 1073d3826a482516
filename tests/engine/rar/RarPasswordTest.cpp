// The password check before an operation that cannot ask, over the fixtures
// of other tools' test suites: RAR 5 entries with a check value, RAR 4
// entries decided by their data, archives whose headers are encrypted, and
// archives with entries under two different passwords.
#include <gtest/gtest.h>

#include <string>

#include "engine/rar/RarPassword.h"

using namespace arkelin::engine::rar;

namespace {

std::string Fx(const std::string& name) { return std::string(ARKELIN_FIXTURES) + "/rar/" + name; }

}  // namespace

TEST(RarPassword, EachEntryKnowsItsOwnPassword) {
  for (const char* name : {"la-test_read_format_rar5_encrypted.rar", "la-test_read_format_rar4_encrypted.rar"}) {
    SCOPED_TRACE(name);
    const std::string f = Fx(name);
    EXPECT_EQ(RarEntryPasswordFits(f, "b.txt", "password"), RarPasswordFit::Right);
    EXPECT_EQ(RarEntryPasswordFits(f, "b.txt", "password2"), RarPasswordFit::Wrong);
    EXPECT_EQ(RarEntryPasswordFits(f, "d.txt", "password2"), RarPasswordFit::Right);
    EXPECT_EQ(RarEntryPasswordFits(f, "d.txt", "password"), RarPasswordFit::Wrong);
    EXPECT_EQ(RarEntryPasswordFits(f, "d.txt", ""), RarPasswordFit::Wrong);
    EXPECT_EQ(RarEntryPasswordFits(f, "a.txt", "password"), RarPasswordFit::NotEncrypted);
    EXPECT_EQ(RarEntryPasswordFits(f, "e.txt", "password"), RarPasswordFit::Unknown);
  }
}

TEST(RarPassword, EncryptedHeadersRefuseAWrongPasswordBeforeAnyEntry) {
  const std::string rar4 = Fx("la-test_read_format_rar_encryption_header.rar");
  const std::string rar5 = Fx("rf-rar5-hpsw.rar");
  EXPECT_EQ(RarEntryPasswordFits(rar4, "foo.txt", "wrong"), RarPasswordFit::Wrong);
  EXPECT_EQ(RarEntryPasswordFits(rar5, "anything", "wrong"), RarPasswordFit::Wrong);
  EXPECT_EQ(RarEntryPasswordFits(rar5, "stest1.txt", ""), RarPasswordFit::Wrong);
  EXPECT_EQ(RarEntryPasswordFits(rar4, "foo.txt", "12345678"), RarPasswordFit::Right);
  EXPECT_EQ(RarEntryPasswordFits(rar5, "stest1.txt", "password"), RarPasswordFit::Right);
  EXPECT_EQ(RarEntryPasswordFits(rar5, "stest2.txt", "password"), RarPasswordFit::Right);  // stored
  EXPECT_EQ(RarEntryPasswordFits(Fx("la-test_read_format_rar_encryption_data.rar"), "bar.txt", "12345678"),
            RarPasswordFit::Right);
  EXPECT_EQ(RarEntryPasswordFits(Fx("la-test_read_format_rar_encryption_data.rar"), "bar.txt", "1234567"),
            RarPasswordFit::Wrong);
  EXPECT_EQ(RarEntryPasswordFits(Fx("no-such-archive.rar"), "bar.txt", "x"), RarPasswordFit::Unknown);
}
