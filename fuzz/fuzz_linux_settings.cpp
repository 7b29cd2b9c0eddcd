// The Linux programs' settings the auto-detection reads: a proxy variable, an msmtp
// configuration and a git configuration, parsed as texts and read from their files,
// which must give the same server.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/linuxSettingsSources.h"

namespace {

const std::filesystem::path& Home() {
  static const std::filesystem::path home = [] {
    char pattern[] = "/tmp/vazudovu-fuzz-home-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
      std::abort();
    }
    return std::filesystem::path(made);
  }();
  return home;
}

void Put(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string proxy = input.ConsumeRandomLengthString(256);
  const std::string msmtp = input.ConsumeRandomLengthString(4096);
  const std::string git = input.ConsumeRemainingBytesAsString();
  (void)linux_sources::ParseProxy(proxy);
  const linux_sources::Mail fromMsmtp = linux_sources::ParseMsmtp(msmtp);
  const linux_sources::Mail fromGit = linux_sources::ParseGitSendEmail(git, fromMsmtp);

  Put(Home() / ".msmtprc", msmtp);
  Put(Home() / ".gitconfig", git);
  const std::string home = Home().string();
  const auto env = [&home](const std::string& name) -> std::optional<std::string> {
    return name == "HOME" ? std::optional<std::string>(home) : std::nullopt;
  };
  const std::string expected =
      !fromMsmtp.server.empty() ? fromMsmtp.server : linux_sources::ParseGitSendEmail(git).server;
  if (linux_sources::MailFromFiles(env).server != expected) {
    std::abort();
  }
  (void)fromGit;
  return 0;
}
