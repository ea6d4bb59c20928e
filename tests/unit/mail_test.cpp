#include <gtest/gtest.h>

#include <string>

#include "shell/mail.h"

namespace {

TEST(MailEncode, PlainCharactersPassOthersArePercentEncoded) {
  EXPECT_EQ(mailEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(mailEncode("a b"), "a%20b");
  EXPECT_EQ(mailEncode("?&=#%+/:@"), "%3F%26%3D%23%25%2B%2F%3A%40");
  EXPECT_EQ(mailEncode(""), "");
  // Upper-case hex digits, also for bytes above 0x7F.
  EXPECT_EQ(mailEncode("\xff"), "%FF");
  EXPECT_EQ(mailEncode(std::string("\0", 1)), "%00");
}

TEST(MailEncode, LineBreaks) {
  EXPECT_EQ(mailEncode("\n"), "%0D%0A");
  EXPECT_EQ(mailEncode("\r"), "%0D");
  EXPECT_EQ(mailEncode("\r\n"), "%0D%0D%0A");
  EXPECT_EQ(mailEncode("a\n\nb"), "a%0D%0A%0D%0Ab");
}

TEST(MailEncode, Utf8BytesOneByOne) {
  // Each Cyrillic letter is two bytes, so two groups.
  EXPECT_EQ(mailEncode("Сніг"), "%D0%A1%D0%BD%D1%96%D0%B3");
  EXPECT_EQ(mailEncode("—"), "%E2%80%94");
  EXPECT_EQ(mailEncode("❄"), "%E2%9D%84");
}

TEST(ContactMail, WindowsVersionNames) {
  EXPECT_EQ(windowsVersionText(10, 0, 22000), "Windows 11 (build 22000)");
  EXPECT_EQ(windowsVersionText(10, 0, 22631), "Windows 11 (build 22631)");
  EXPECT_EQ(windowsVersionText(10, 0, 21999), "Windows 10 (build 21999)");
  EXPECT_EQ(windowsVersionText(10, 0, 19045), "Windows 10 (build 19045)");
  EXPECT_EQ(windowsVersionText(6, 1, 7601), "Windows 6.1 (build 7601)");
  EXPECT_EQ(windowsVersionText(0, 0, 0), "Windows 0.0 (build 0)");
}

TEST(ContactMail, DiagnosticsAndBody) {
  std::string diag = contactDiagnostics("Windows 11 (build 22631)", "uk");
  EXPECT_EQ(diag, "Quillar 0.9.20 Windows | Windows 11 (build 22631) | x64 | uk");
  EXPECT_EQ(contactBody("Tell us:", diag), "Tell us:\n\n\n\n----------\n" + diag);
}

TEST(ContactMail, LinkCarriesEncodedSubjectAndBody) {
  std::string body = contactBody("Напишіть:", contactDiagnostics("Windows 10 (build 19045)", "uk"));
  std::string link = contactMailLink(kSupportAddress, "Quillar: запитання", body);
  std::string expected = std::string("mailto:") + kSupportAddress +
                         "?subject=Quillar%3A%20%D0%B7%D0%B0%D0%BF%D0%B8%D1%82%D0%B0%D0%BD%D0%BD%D1%8F" +
                         "&body=%D0%9D%D0%B0%D0%BF%D0%B8%D1%88%D1%96%D1%82%D1%8C%3A" +
                         "%0D%0A%0D%0A%0D%0A%0D%0A----------%0D%0A" +
                         "Quillar%200.9.20%20Windows%20%7C%20Windows%2010%20%28build%2019045%29%20%7C%20x64%20%7C%20uk";
  EXPECT_EQ(link, expected);
  // The link is plain ASCII: nothing raw that a shell could split on.
  for (char c : link) {
    EXPECT_GT(static_cast<unsigned char>(c), 0x20);
    EXPECT_LT(static_cast<unsigned char>(c), 0x7F);
  }
  EXPECT_EQ(link.find(' '), std::string::npos);
}

}  // namespace
