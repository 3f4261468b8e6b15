#include "download/release/release_check_win.h"

#include "download/transfer/http_response.h"
#include "trust/sha256_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/test_root_win.h"

namespace pelmora {
namespace {

const std::wstring kBase = L"http://server.test/tools/";

// A maker of our own: a fresh P-256 key pair from BCrypt.
class Maker {
public:
    Maker() {
        ::BCryptOpenAlgorithmProvider(&ecdsa_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
        ::BCryptGenerateKeyPair(ecdsa_, &key_, 256, 0);
        ::BCryptFinalizeKeyPair(key_, 0);
        UCHAR blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
        ULONG size = 0;
        ::BCryptExportKey(key_, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &size, 0);
        std::copy(blob + sizeof(BCRYPT_ECCKEY_BLOB), blob + sizeof blob, publicKey.begin());
    }
    ~Maker() {
        ::BCryptDestroyKey(key_);
        ::BCryptCloseAlgorithmProvider(ecdsa_, 0);
    }
    std::string Sign(const std::string& bytes) {
        Sha256Digest digest = *Sha256Of(bytes);
        std::string signature(64, '\0');
        ULONG size = 0;
        ::BCryptSignHash(key_, nullptr, digest.data(), 32,
                         reinterpret_cast<UCHAR*>(&signature[0]), 64, &size, 0);
        return signature;
    }
    MakerPublicKey publicKey{};

private:
    BCRYPT_ALG_HANDLE ecdsa_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
};

// The server's files in memory; the transfer keeps DownloadToFile's promises
// on size and digest and counts what was asked for.
struct Server {
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, int> asked;
    std::mutex mutex;

    Transfer AsTransfer() {
        return [this](const std::wstring& url, const std::wstring& path, DWORD,
                      const DownloadOptions& options) -> HRESULT {
            std::string body;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                ++asked[url];
                if (!files.count(url)) return HttpStatusResult(404);
                body = files[url];
            }
            if (options.maxBytes && body.size() > options.maxBytes) return kDownloadTooLarge;
            if (options.expectedDigest && Sha256Of(body) != options.expectedDigest)
                return kDownloadDigestMismatch;
            return win::ReplaceFileWith(path, body) ? S_OK : E_FAIL;
        };
    }
};

class ReleaseCheckTest : public ::testing::Test {
protected:
    // As an earlier publisher did: the manifest and its signature as a pair;
    // `oneFile`: also in release.signed, as publishers do now.
    void Publish(uint64_t serial, const std::map<std::wstring, std::string>& files,
                 const std::string& moreLines = "", bool oneFile = false) {
        std::string manifest = "pelmora-release 1\nserial " + std::to_string(serial) +
                               "\nexpires 2099-12-31\n" + moreLines;
        for (const auto& [name, bytes] : files) {
            server_.files[kBase + name] = bytes;
            manifest += std::to_string(bytes.size()) + " " + Sha256Hex(*Sha256Of(bytes)) + " " +
                        win::ToUtf8(name) + "\n";
        }
        server_.files[kBase + L"release.txt"] = manifest;
        server_.files[kBase + L"release.txt.sig"] = maker_.Sign(manifest);
        if (oneFile)
            server_.files[kBase + L"release.signed"] =
                manifest + "signature " + HexOf(maker_.Sign(manifest)) + "\n";
    }
    static std::string HexOf(const std::string& bytes) {
        Sha256Digest digest{};
        std::string hex;
        for (size_t i = 0; i < bytes.size(); i += 32) {
            std::copy(bytes.begin() + i, bytes.begin() + i + 32, digest.begin());
            hex += Sha256Hex(digest);
        }
        return hex;
    }
    ReleaseCheck Check() {
        return ReleaseCheck(ReleasePolicy{maker_.publicKey, kBase, root_.Root() + L"serial.txt",
                                          root_.Root(), 20261208},
                            server_.AsTransfer());
    }
    std::string Local(const std::wstring& name) {
        return testsupport::ReadFileBytes(root_.Root() + name);
    }

    testsupport::TestRoot root_{L"pelmora-release-check-test"};
    Maker maker_;
    Server server_;
};

TEST_F(ReleaseCheckTest, ManyThreadsShareOneManifestAndFetchOnlyWhatItLists) {
    std::map<std::wstring, std::string> files;
    for (int i = 0; i < 8; ++i) files[L"f" + std::to_wstring(i) + L".bmp"] = std::string(i, 'x');
    Publish(7, files);
    server_.files[kBase + L"f3.bmp"] = "xxX";     // altered, same size
    server_.files[kBase + L"f5.bmp"] = "xxxxxx";  // one byte longer
    server_.files[kBase + L"unlisted.bmp"] = "anything";
    ReleaseCheck check = Check();

    std::vector<HRESULT> results(9);
    std::vector<std::thread> threads;
    for (int i = 0; i < 9; ++i)
        threads.emplace_back([&, i] {
            const std::wstring name = i < 8 ? L"f" + std::to_wstring(i) + L".bmp" : L"unlisted.bmp";
            results[i] = check.Fetch(kBase + name, root_.Root() + name, 1000);
        });
    for (std::thread& t : threads) t.join();

    EXPECT_EQ(server_.asked[kBase + L"release.txt"], 1);
    EXPECT_EQ(server_.asked[kBase + L"release.txt.sig"], 1);
    for (int i : {0, 1, 2, 4, 6, 7}) EXPECT_EQ(results[i], S_OK) << i;
    EXPECT_EQ(results[3], kDownloadDigestMismatch);
    EXPECT_EQ(results[5], kDownloadTooLarge);
    EXPECT_EQ(results[8], kNotInRelease);
    EXPECT_EQ(server_.asked.count(kBase + L"unlisted.bmp"), 0u) << "never requested";
    EXPECT_EQ(Local(L"f3.bmp"), "<missing>");
    EXPECT_EQ(Local(L"f7.bmp"), std::string(7, 'x'));
    EXPECT_EQ(Local(L"serial.txt"), "7\r\n");
    EXPECT_EQ(Local(L"release.txt.unverified"), "<missing>");
}

TEST_F(ReleaseCheckTest, AnInstallersSilentArgumentsComeFromTheAcceptedRelease) {
    Publish(3, {{L"a/setup.exe", "A"}, {L"b/setup.exe", "B"}},
            "args /quiet%20/norestart a/setup.exe\nnot-yet-known 1 2\n");
    ReleaseCheck check = Check();
    EXPECT_FALSE(check.SilentArguments(kBase + L"a/setup.exe")) << "none before the release";
    ASSERT_EQ(check.Accept(1000), S_OK);
    EXPECT_EQ(check.SilentArguments(kBase + L"a/setup.exe"), "/quiet /norestart");
    EXPECT_FALSE(check.SilentArguments(kBase + L"b/setup.exe"));  // the caller's default
    EXPECT_FALSE(check.SilentArguments(kBase + L"c/setup.exe"));
}

// Fetched beside the manifest, a file is kept only once the manifest is
// accepted and the file is what it lists.
TEST_F(ReleaseCheckTest, FilesFetchedAheadAreKeptOnlyAsTheAcceptedManifestLists) {
    Publish(7, {{L"a.txt", "listed"}, {L"b.txt", "listed too"}});
    server_.files[kBase + L"b.txt"] = "listed to0";
    ReleaseCheck check = Check();
    EXPECT_EQ(check.FetchAhead(kBase + L"a.txt", root_.Root() + L"a.txt", 1000, {}), S_OK);
    EXPECT_EQ(check.FetchAhead(kBase + L"b.txt", root_.Root() + L"b.txt", 1000, {}),
              kDownloadDigestMismatch);
    EXPECT_EQ(Local(L"a.txt"), "listed");
    EXPECT_EQ(Local(L"b.txt"), "<missing>");

    // A manifest that is not the maker's: the file that did arrive is not kept either.
    server_.files[kBase + L"release.txt.sig"][5] ^= 1;
    ReleaseCheck refused = Check();
    EXPECT_EQ(refused.FetchAhead(kBase + L"a.txt", root_.Root() + L"c.txt", 1000, {}),
              kSignatureInvalid);
    EXPECT_EQ(server_.asked[kBase + L"a.txt"], 2);
    EXPECT_EQ(Local(L"c.txt"), "<missing>");
}

// release.signed is fetched alone; the pair only from a server without it.
TEST_F(ReleaseCheckTest, TheOneSignedFileComesFirstAndThePairOnlyWhereItIsMissing) {
    Publish(7, {{L"a.txt", "listed"}}, "", true);
    server_.files[kBase + L"release.txt.sig"] = std::string(64, 'x');  // a cache's stale copy
    EXPECT_EQ(Check().Fetch(kBase + L"a.txt", root_.Root() + L"a.txt", 1000), S_OK);
    EXPECT_EQ(server_.asked.count(kBase + L"release.txt"), 0u);
    EXPECT_EQ(Local(L"release.signed.unverified"), "<missing>");

    std::string& signedFile = server_.files[kBase + L"release.signed"];
    signedFile.replace(signedFile.size() - 129, 128, HexOf(maker_.Sign("another manifest")));
    EXPECT_EQ(Check().Accept(1000), kSignatureInvalid) << "another's signature; no fallback";
    signedFile.resize(signedFile.size() - 139);  // the signature line cut off
    EXPECT_EQ(Check().Accept(1000), kSignatureMissing);
    EXPECT_EQ(server_.asked.count(kBase + L"release.txt"), 0u);

    server_.files.erase(kBase + L"release.signed");  // an earlier publisher's server
    EXPECT_EQ(Check().Accept(1000), kSignatureInvalid) << "the pair's stale signature";
    EXPECT_EQ(server_.asked[kBase + L"release.txt"], 1);
}

// A fixed name whose bytes are not the release's (a cache's older copy) is
// taken from its immutable name, whether fetched ahead of the manifest or after it.
TEST_F(ReleaseCheckTest, AFixedNameNotAsListedIsTakenFromItsImmutableName) {
    const std::map<std::wstring, std::string> release = {
        {L"a.txt", "release 2"}, {L"b.txt", "release 2 b"}, {L"c.txt", "release 2 c"}};
    for (const auto& [name, bytes] : release)
        server_.files[kBase + L"by-digest/" + win::FromUtf8(Sha256Hex(*Sha256Of(bytes)))] = bytes;
    Publish(8, release, "immutable by-digest/\n", true);
    server_.files[kBase + L"a.txt"] = "release 1";
    server_.files[kBase + L"b.txt"] = "release 1 b is longer";
    ReleaseCheck check = Check();
    EXPECT_EQ(check.FetchAhead(kBase + L"a.txt", root_.Root() + L"a.txt", 1000, {}), S_OK);
    EXPECT_EQ(check.Fetch(kBase + L"b.txt", root_.Root() + L"b.txt", 1000), S_OK);
    EXPECT_EQ(check.Fetch(kBase + L"c.txt", root_.Root() + L"c.txt", 1000), S_OK);
    EXPECT_EQ(Local(L"a.txt"), "release 2");
    EXPECT_EQ(Local(L"b.txt"), "release 2 b");
    size_t immutableAsked = 0;
    for (const auto& [url, count] : server_.asked)
        if (url.find(L"by-digest/") != std::wstring::npos) immutableAsked += count;
    EXPECT_EQ(immutableAsked, 2u) << "a current file costs no second fetch";

    // Both names wrong: a failed download of that file, nothing kept.
    server_.files[kBase + L"by-digest/" + win::FromUtf8(Sha256Hex(*Sha256Of("release 2")))] = "x";
    EXPECT_EQ(Check().Fetch(kBase + L"a.txt", root_.Root() + L"a2.txt", 1000),
              kDownloadDigestMismatch);
    EXPECT_EQ(Local(L"a2.txt"), "<missing>");
    // An earlier publisher's release names no immutable copies: refused as before.
    Publish(9, release);
    server_.files.erase(kBase + L"release.signed");
    server_.files[kBase + L"a.txt"] = "release 1";
    EXPECT_EQ(Check().Fetch(kBase + L"a.txt", root_.Root() + L"a3.txt", 1000),
              kDownloadDigestMismatch);
}

// A manifest the proxy refused is fetched again once the user gave credentials, once.
TEST_F(ReleaseCheckTest, AProxysRefusalIsTriedAgainOnceWithCredentials) {
    Publish(7, {{L"a.txt", "listed"}});
    int refusals = 2;
    ReleaseCheck check(ReleasePolicy{maker_.publicKey, kBase, root_.Root() + L"serial.txt",
                                     root_.Root(), 20261208},
                       [&](const std::wstring& url, const std::wstring& path, DWORD timeoutMs,
                           const DownloadOptions& options) {
                           if (url == kBase + L"release.txt" && refusals-- > 0)
                               return kDownloadProxyAuthRequired;
                           return server_.AsTransfer()(url, path, timeoutMs, options);
                       });
    EXPECT_EQ(check.Accept(1000), kDownloadProxyAuthRequired);
    EXPECT_EQ(check.Accept(1000), kDownloadProxyAuthRequired);  // kept until credentials come
    check.CredentialsGiven();
    EXPECT_EQ(check.Accept(1000), kDownloadProxyAuthRequired);  // the proxy refused them too
    check.CredentialsGiven();                                   // once per run
    EXPECT_EQ(check.Accept(1000), kDownloadProxyAuthRequired);
    EXPECT_EQ(refusals, 0);

    ReleaseCheck second(ReleasePolicy{maker_.publicKey, kBase, root_.Root() + L"serial.txt",
                                      root_.Root(), 20261208},
                        [&](const std::wstring& url, const std::wstring& path, DWORD timeoutMs,
                            const DownloadOptions& options) {
                            if (url == kBase + L"release.txt.sig" && refusals++ == 0)
                                return kDownloadProxyAuthRequired;
                            return server_.AsTransfer()(url, path, timeoutMs, options);
                        });
    EXPECT_EQ(second.Accept(1000), kDownloadProxyAuthRequired);
    second.CredentialsGiven();
    EXPECT_EQ(second.Fetch(kBase + L"a.txt", root_.Root() + L"a.txt", 1000), S_OK);
    EXPECT_EQ(Local(L"a.txt"), "listed");
}

}  // namespace
}  // namespace pelmora
