#include "TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace testsupport {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  const bool added = ext != nullptr && X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return added;
}

// A certificate valid from a day ago for a day, for subject's key, signed by the
// issuer's key (itself when issuer is null).
Cert MakeCertificate(const std::string& commonName, EVP_PKEY* key, X509* issuer,
                     EVP_PKEY* issuerKey, long serial, bool authority,
                     const std::string& altNames) {
  Cert cert(X509_new(), X509_free);
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -86400);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
  X509_set_pubkey(cert.get(), key);
  X509* signer = issuer ? issuer : cert.get();
  bool ok = AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash") &&
            AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
  if (authority) {
    ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
         AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "CA:FALSE") &&
         AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
         AddExtension(cert.get(), signer, NID_subject_alt_name, altNames);
  }
  if (!ok || X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) <= 0) {
    return Cert(nullptr, X509_free);
  }
  return cert;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) {
    return false;
  }
  const bool written =
      cert ? PEM_write_X509(out, cert) == 1
           : PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  return std::fclose(out) == 0 && written;
}

Key ReadKey(const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "r");
  EVP_PKEY* key = in ? PEM_read_PrivateKey(in, nullptr, nullptr, nullptr) : nullptr;
  if (in) {
    std::fclose(in);
  }
  return Key(key, EVP_PKEY_free);
}

Cert ReadCert(const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "r");
  X509* cert = in ? PEM_read_X509(in, nullptr, nullptr, nullptr) : nullptr;
  if (in) {
    std::fclose(in);
  }
  return Cert(cert, X509_free);
}

}  // namespace

TestAuthority::TestAuthority(std::string folder) : folder_(std::move(folder)) {
  Key key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  if (!key) {
    return;
  }
  Cert cert = MakeCertificate("Vazudovu Test Authority", key.get(), nullptr, nullptr, 1, true, "");
  const std::string caFile = folder_ + "/ca.crt";
  const std::string keyFile = folder_ + "/ca.key";
  if (cert && WritePem(caFile, cert.get(), nullptr) && WritePem(keyFile, nullptr, key.get())) {
    caFile_ = caFile;
    caKeyFile_ = keyFile;
  }
}

TestAuthority::Files TestAuthority::ServerCertificate(const std::string& stem,
                                                      const std::string& altNames) const {
  Key caKey = ReadKey(caKeyFile_);
  Cert ca = ReadCert(caFile_);
  Key key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  if (!caKey || !ca || !key) {
    return {};
  }
  Cert cert =
      MakeCertificate(stem + ".test", key.get(), ca.get(), caKey.get(), ++serial_, false, altNames);
  Files files{folder_ + "/" + stem + ".crt", folder_ + "/" + stem + ".key"};
  if (!cert || !WritePem(files.certificate, cert.get(), nullptr) ||
      !WritePem(files.key, nullptr, key.get())) {
    return {};
  }
  return files;
}

}  // namespace testsupport
