// A certificate authority and server certificates it signs, made at run time for the
// TLS tests and written as PEM files into a folder. Nothing here is trusted anywhere
// but in the test that points SSL_CERT_FILE at the authority.
#pragma once

#include <string>

#include "TempDir.h"  // ScopedEnv

namespace testsupport {

class TestAuthority {
 public:
  // Makes the authority's key and certificate in folder; CaFile() is empty on failure.
  explicit TestAuthority(std::string folder);
  const std::string& CaFile() const { return caFile_; }

  struct Files {
    std::string certificate;
    std::string key;
  };
  // A server certificate for the subject alternative names, OpenSSL's form
  // ("DNS:localhost,IP:127.0.0.1"), signed by the authority; written as
  // <stem>.crt and <stem>.key. Empty names on failure.
  Files ServerCertificate(const std::string& stem, const std::string& altNames) const;

 private:
  std::string folder_;
  std::string caFile_;
  std::string caKeyFile_;
  mutable long serial_ = 100;
};

}  // namespace testsupport
