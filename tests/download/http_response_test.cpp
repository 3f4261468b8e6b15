#include "download/transfer/http_response.h"
#include "download/sync/startup_files.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(HttpStatusResult, OnlyOkGivesAFile) {
    EXPECT_EQ(HttpStatusResult(200), 0);
    for (uint32_t status : {0u, 201u, 204u, 206u, 304u, 404u, 500u, 503u, 65736u}) {
        const int32_t result = HttpStatusResult(status);
        EXPECT_LT(result, 0) << status;  // a failed HRESULT: never 0, 1 or a success code
        EXPECT_NE(result, static_cast<int32_t>(0x80004004)) << status;  // never a cancel
    }
    // The status can be read back from the result.
    EXPECT_EQ(HttpStatusResult(404) & 0xFFFF, 404);
    EXPECT_EQ(HttpStatusResult(500) & 0xFFFF, 500);
}

TEST(ParseContentLength, ReadsDecimalLengths) {
    EXPECT_EQ(ParseContentLength(u"0"), 0u);
    EXPECT_EQ(ParseContentLength(u"268435456"), 268435456u);
    EXPECT_EQ(ParseContentLength(u" 42\t"), 42u);
    EXPECT_EQ(ParseContentLength(u"18446744073709551615"), UINT64_MAX);
}

TEST(ParseContentLength, RejectsWhatIsNotALength) {
    for (const char16_t* value : {u"", u"  ", u"-1", u"+5", u"12a", u"1 2", u"0x10", u"1e3",
                                  u"18446744073709551616", u"99999999999999999999"})
        EXPECT_FALSE(ParseContentLength(value).has_value());
}

TEST(BodyComplete, NeedsEveryAnnouncedByte) {
    EXPECT_TRUE(BodyComplete(std::nullopt, 0));
    EXPECT_TRUE(BodyComplete(std::nullopt, 12345));
    EXPECT_TRUE(BodyComplete(100u, 100));
    EXPECT_FALSE(BodyComplete(100u, 99));
    EXPECT_FALSE(BodyComplete(100u, 0));
}

TEST(Redirects, OnlyWebSchemesAndNeverDownToHttp) {
    EXPECT_TRUE(RedirectAllowed(u"http://a/x", u"http://b/y"));
    EXPECT_TRUE(RedirectAllowed(u"http://a/x", u"HTTPS://b/y"));
    EXPECT_TRUE(RedirectAllowed(u"https://a/x", u"https://b/y"));
    EXPECT_FALSE(RedirectAllowed(u"https://a/x", u"http://b/y"));
    EXPECT_FALSE(RedirectAllowed(u"HTTPS://a/x", u"Http://b/y"));
    for (const char16_t* to : {u"ftp://b/y", u"file:///C:/x", u"javascript:alert(1)", u"/relative", u""})
        EXPECT_FALSE(RedirectAllowed(u"http://a/x", to));
    for (uint32_t status : {301u, 302u, 303u, 307u, 308u}) EXPECT_TRUE(IsRedirectStatus(status));
    for (uint32_t status : {200u, 300u, 304u, 305u, 306u}) EXPECT_FALSE(IsRedirectStatus(status));
}

TEST(CertificateErrorName, NamesCertificateRefusalsOnly) {
    EXPECT_EQ(CertificateErrorName(12045), "ERROR_INTERNET_INVALID_CA");
    EXPECT_EQ(CertificateErrorName(12038), "ERROR_INTERNET_SEC_CERT_CN_INVALID");
    EXPECT_EQ(CertificateErrorName(12037), "ERROR_INTERNET_SEC_CERT_DATE_INVALID");
    EXPECT_EQ(CertificateErrorName(12170), "ERROR_INTERNET_SEC_CERT_REVOKED");
    // A server that is down or slow is not a certificate problem.
    for (uint32_t error : {0u, 12002u, 12007u, 12029u, 12030u, 12152u, 12156u, 0x80072F0Du})
        EXPECT_TRUE(CertificateErrorName(error).empty()) << error;
}

TEST(ResponseHeaders, EncodingRangeAndValidator) {
    EXPECT_TRUE(IdentityEncoding(u""));
    EXPECT_TRUE(IdentityEncoding(u" Identity "));
    for (const char16_t* coded : {u"gzip", u"deflate", u"br", u"identity, gzip", u"x-gzip"})
        EXPECT_FALSE(IdentityEncoding(coded));

    EXPECT_EQ(ContentRangeStart(u"bytes 60000-99999/100000"), 60000u);
    EXPECT_EQ(ContentRangeStart(u"bytes 0-0/*"), 0u);
    for (const char16_t* bad : {u"bytes */100", u"bytes 5-4/10", u"items 0-1/2", u"bytes 1-2", u""})
        EXPECT_FALSE(ContentRangeStart(bad));
    EXPECT_EQ(UnsatisfiedRangeLength(u"bytes */4294967296"), 4294967296u);
    for (const char16_t* bad : {u"bytes */*", u"bytes 0-1/2", u"bytes */", u"bytes */-1"})
        EXPECT_FALSE(UnsatisfiedRangeLength(bad));

    EXPECT_EQ(ResumeValidator(u"\"abc\"", u"Tue, 08 Dec 2026 06:37:04 GMT"), u"\"abc\"");
    EXPECT_EQ(ResumeValidator(u"W/\"abc\"", u"Tue, 08 Dec 2026 06:37:04 GMT"),
              u"Tue, 08 Dec 2026 06:37:04 GMT");
    EXPECT_EQ(ResumeValidator(u"", u""), u"");
}

TEST(HttpResponse, AProxyIsAnsweredWithTheLoggedOnUserBeforeBasic) {
    using A = ProxyAnswer;
    const struct {
        std::vector<std::u16string> offers;
        bool integratedRefused;
        ProxyAnswer answer;
    } rows[] = {
        {{u"Basic realm=\"proxy\"", u"NTLM"}, false, A::Integrated},
        {{u"basic realm=\"p\"", u" negotiate abc=="}, false, A::Integrated},
        {{u"Basic realm=\"proxy\"", u"NTLM"}, true, A::Basic},
        {{u"Basic realm=\"proxy\""}, false, A::Basic},
        {{u"NTLM"}, false, A::Integrated},
        {{u"NTLM"}, true, A::None},
        {{u"Basicx", u"Digest realm=\"p\""}, false, A::None},
        {{}, false, A::None},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChooseProxyAnswer(row.offers, row.integratedRefused), row.answer)
            << row.offers.size() << " offers, refused " << row.integratedRefused;
}

TEST(StartupFiles, EachKindIsCappedByTheEndOfItsPath) {
    EXPECT_EQ(StartupFileMaxBytes(u"http://h/tools/program_list.txt"), kStartupTextFileMaxBytes);
    EXPECT_EQ(StartupFileMaxBytes(u"http://h/tools/Pelmora.TXT?x=1"), kStartupTextFileMaxBytes);
    EXPECT_EQ(StartupFileMaxBytes(u"http://h/tools/modelinfo_hq.db"), kDatabaseMaxBytes);
    EXPECT_EQ(StartupFileMaxBytes(u"http://h/images/Halvex/EN.BMP"), kPictureMaxBytes);
    EXPECT_EQ(StartupFileMaxBytes(u"http://h/a.txt/setup.exe"), 0u);
    EXPECT_EQ(StartupFileMaxBytes(u"txt"), 0u);
    EXPECT_EQ(StartupFileMaxBytes(u"http://h/tools/program_list.txt.SIG"), kSignatureFileMaxBytes);
}

}  // namespace
}  // namespace pelmora
