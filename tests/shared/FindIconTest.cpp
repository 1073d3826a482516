#include "shared/FindIcon.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <stdexcept>

#include "platform/FakePlatform.h"

using arkelin::shared::TRFindIcon;
namespace pf = arkelin::platform;

namespace {

// The file-type service failing outright.
class BrokenFileTypes : public pf::FakeFileTypes {
 public:
  std::vector<std::string> IconNames(const std::string&) override {
    ++asked;
    throw std::runtime_error("file-type service gone");
  }
};

QIcon Solid(QColor c, int size) {
  QPixmap pm(size, size);
  pm.fill(c);
  return QIcon(pm);
}

QImage Image(const QIcon& icon, int size) {
  return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool SameImage(const QIcon& a, const QIcon& b, int size = 16) {
  const QImage ia = Image(a, size), ib = Image(b, size);
  return !ia.isNull() && ia == ib;
}

class FindIconTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QCoreApplication::instance()) {
      if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      static int argc = 1;
      static char name[] = "FindIconTest";
      static char* argv[] = {name, nullptr};
      new QGuiApplication(argc, argv);
    }
  }
  void SetUp() override { saved_ = pf::Current(); }
  void TearDown() override { pf::Install(saved_); }

  // Routes the finder's questions to a scripted service.
  void UseScripted(pf::IFileTypes* types = nullptr) {
    pf::Services s = pf::Current();
    s.fileTypes = types ? types : &types_;
    pf::Install(s);
  }
  // Gives the finder six distinct, recognisable fall-back images.
  void SetOwnColours(TRFindIcon& f) {
    f.SetLargeDefaultIcon(Solid(Qt::red, 32));
    f.SetSmallDefaultIcon(Solid(Qt::red, 16));
    f.SetLargeExeIcon(Solid(Qt::green, 32));
    f.SetSmallExeIcon(Solid(Qt::green, 16));
    f.SetLargeNoExtIcon(Solid(Qt::blue, 32));
    f.SetSmallNoExtIcon(Solid(Qt::blue, 16));
  }

  pf::FakeFileTypes types_;
  pf::Services saved_;
};

}  // namespace

TEST_F(FindIconTest, ExtensionIsTakenFromTheFilePartOnly) {
  EXPECT_EQ(TRFindIcon::ExtensionOf("readme"), "");
  EXPECT_EQ(TRFindIcon::ExtensionOf("a.tar.GZ"), ".GZ");
  EXPECT_EQ(TRFindIcon::ExtensionOf("v1.2\\readme"), "");
  EXPECT_EQ(TRFindIcon::ExtensionOf("/home/u.x/notes"), "");
  EXPECT_EQ(TRFindIcon::ExtensionOf("docs\\SETUP.EXE"), ".EXE");
  EXPECT_EQ(TRFindIcon::ExtensionOf("file."), ".");
}

TEST_F(FindIconTest, NoExtensionAndExecutablesUseTheirOwnImages) {
  UseScripted();
  TRFindIcon f;
  SetOwnColours(f);
  f.SetFileName("docs\\readme");
  EXPECT_EQ(f.Result(), TRFindIcon::irDefault);
  EXPECT_TRUE(SameImage(f.SmallIcon(), Solid(Qt::blue, 16)));
  EXPECT_TRUE(SameImage(f.LargeIcon(), Solid(Qt::blue, 32), 32));
  f.SetFileName("SETUP.EXE");
  EXPECT_EQ(f.Result(), TRFindIcon::irExecutable);
  EXPECT_TRUE(SameImage(f.SmallIcon(), Solid(Qt::green, 16)));
  // Neither asks the file-type service.
  EXPECT_EQ(types_.asked, 0);
}

TEST_F(FindIconTest, UnregisteredExtensionGetsTheDefaultImage) {
  TRFindIcon f;  // the real MIME database
  SetOwnColours(f);
  f.SetFileName("data.zzqqxv");
  EXPECT_EQ(f.Result(), TRFindIcon::irDefault);
  EXPECT_TRUE(SameImage(f.SmallIcon(), Solid(Qt::red, 16)));
}

TEST_F(FindIconTest, RegisteredTypeGetsTheThemesImageInBothSizes) {
  TRFindIcon f;  // the real MIME database and the installed icon theme
  SetOwnColours(f);
  f.SetFileName("notes\\letter.txt");
  ASSERT_EQ(f.Result(), TRFindIcon::irFound) << "theme: " << QIcon::themeName().toStdString();
  EXPECT_FALSE(SameImage(f.SmallIcon(), Solid(Qt::red, 16)));
  EXPECT_EQ(f.SmallIcon().availableSizes().value(0), QSize(16, 16));
  EXPECT_EQ(f.LargeIcon().availableSizes().value(0), QSize(32, 32));
  const QImage txt = Image(f.SmallIcon(), 16);
  f.SetFileName("photo.png");
  ASSERT_EQ(f.Result(), TRFindIcon::irFound);
  EXPECT_NE(Image(f.SmallIcon(), 16), txt) << "pictures and texts look different";
}

TEST_F(FindIconTest, TypeWithoutAThemedImageGetsTheDefault) {
  UseScripted();
  types_.iconNames[".odd"] = {"arkelin-no-such-icon"};
  TRFindIcon f;
  SetOwnColours(f);
  f.SetFileName("a.odd");
  EXPECT_EQ(f.Result(), TRFindIcon::irDefault);
  EXPECT_TRUE(SameImage(f.LargeIcon(), Solid(Qt::red, 32), 32));
}

TEST_F(FindIconTest, NamesAreTriedMostSpecificFirst) {
  UseScripted();
  types_.iconNames[".odd"] = {"arkelin-no-such-icon", "text-x-generic", "image-x-generic"};
  TRFindIcon f;
  SetOwnColours(f);
  f.SetFileName("a.odd");
  ASSERT_EQ(f.Result(), TRFindIcon::irFound);
  const QIcon text(QIcon::fromTheme("text-x-generic").pixmap(16, 16));
  EXPECT_TRUE(SameImage(f.SmallIcon(), text));
}

TEST_F(FindIconTest, FailingFileTypeServiceGivesDefaultAndErrorKind) {
  BrokenFileTypes broken;
  UseScripted(&broken);
  TRFindIcon f;
  SetOwnColours(f);
  f.SetFileName("a.doc");
  EXPECT_EQ(f.Result(), TRFindIcon::irError);
  EXPECT_TRUE(SameImage(f.SmallIcon(), Solid(Qt::red, 16)));
}

TEST_F(FindIconTest, SameExtensionInAnyCaseLooksUpOnce) {
  UseScripted();
  types_.iconNames[".txt"] = {"text-x-generic"};
  TRFindIcon f;
  f.SetFileName("a.txt");
  f.SetFileName("b.TXT");
  f.SetFileName("dir\\c.Txt");
  EXPECT_EQ(f.LookupCount(), 1);
  EXPECT_EQ(types_.asked, 1);
  EXPECT_EQ(f.FileName(), "a.txt");
  f.SetFileName("d.doc");
  EXPECT_EQ(f.LookupCount(), 2);
  EXPECT_EQ(f.FileName(), "d.doc");
  // Runs of names without extension are cheap too.
  f.SetFileName("readme");
  f.SetFileName("LICENSE");
  EXPECT_EQ(f.LookupCount(), 3);
}

TEST_F(FindIconTest, FirstNameIsAlwaysLookedUp) {
  UseScripted();
  TRFindIcon f;
  f.SetFileName("readme");  // same (empty) extension as the empty stored name
  EXPECT_EQ(f.LookupCount(), 1);
  EXPECT_EQ(f.FileName(), "readme");
}

TEST_F(FindIconTest, ReplacingAFallbackImageLooksAgain) {
  UseScripted();
  TRFindIcon f;
  f.SetFileName("a.zzz");
  EXPECT_EQ(f.LookupCount(), 1);
  f.SetSmallDefaultIcon(Solid(Qt::yellow, 16));
  f.SetFileName("a.zzz");
  EXPECT_EQ(f.LookupCount(), 2);
  EXPECT_TRUE(SameImage(f.SmallIcon(), Solid(Qt::yellow, 16)));
  f.SetFileName("b.zzz");
  EXPECT_EQ(f.LookupCount(), 2);
}

TEST_F(FindIconTest, ProgramsOwnImagesAreEmbedded) {
  const TRFindIcon::TOwnImage kinds[] = {TRFindIcon::oiDefault, TRFindIcon::oiExecutable,
                                         TRFindIcon::oiNoExtension};
  std::vector<QImage> seen;
  for (auto k : kinds) {
    for (bool large : {true, false}) {
      const int size = large ? 32 : 16;
      const QIcon icon = TRFindIcon::OwnImage(k, large);
      ASSERT_FALSE(icon.isNull());
      const QImage img = Image(icon, size);
      ASSERT_FALSE(img.isNull());
      EXPECT_EQ(img.size(), QSize(size, size));
      // Transparent around the picture, opaque in the middle.
      EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
      EXPECT_EQ(qAlpha(img.pixel(size / 2, size / 2)), 255);
      for (const QImage& other : seen) EXPECT_NE(img, other);
      seen.push_back(img);
    }
  }
}

TEST_F(FindIconTest, StartsWithUsableFallbacks) {
  UseScripted();
  TRFindIcon f;
  for (const QIcon* icon : {&f.LargeDefaultIcon(), &f.SmallDefaultIcon(), &f.LargeExeIcon(), &f.SmallExeIcon(),
                            &f.LargeNoExtIcon(), &f.SmallNoExtIcon()})
    EXPECT_FALSE(icon->pixmap(QSize(16, 16)).isNull());
  EXPECT_FALSE(SameImage(f.SmallDefaultIcon(), f.SmallExeIcon()));
}
