// OpenSSL for the program's secure connections (SMTP's TLS, Passport's sign-in), opened at
// the first one rather than linked: libssl and libcrypto would otherwise be loaded at every
// start. The members carry OpenSSL's own names, so a call reads as the library documents it.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace tls {

struct Api {
  decltype(&::TLS_client_method) TLS_client_method;
  decltype(&::SSL_CTX_new) SSL_CTX_new;
  decltype(&::SSL_CTX_free) SSL_CTX_free;
  decltype(&::SSL_CTX_ctrl) SSL_CTX_ctrl;
  decltype(&::SSL_CTX_set_verify) SSL_CTX_set_verify;
  decltype(&::SSL_CTX_set_default_verify_paths) SSL_CTX_set_default_verify_paths;
  decltype(&::SSL_new) SSL_new;
  decltype(&::SSL_free) SSL_free;
  decltype(&::SSL_ctrl) SSL_ctrl;
  decltype(&::SSL_set_fd) SSL_set_fd;
  decltype(&::SSL_get0_param) SSL_get0_param;
  decltype(&::SSL_set_hostflags) SSL_set_hostflags;
  decltype(&::SSL_set1_host) SSL_set1_host;
  decltype(&::SSL_connect) SSL_connect;
  decltype(&::SSL_is_init_finished) SSL_is_init_finished;
  decltype(&::SSL_get_verify_result) SSL_get_verify_result;
  decltype(&::SSL_read) SSL_read;
  decltype(&::SSL_write) SSL_write;
  decltype(&::SSL_get_error) SSL_get_error;
  decltype(&::SSL_shutdown) SSL_shutdown;
  decltype(&::ERR_get_error) ERR_get_error;
  decltype(&::ERR_peek_error) ERR_peek_error;
  decltype(&::ERR_clear_error) ERR_clear_error;
  decltype(&::ERR_reason_error_string) ERR_reason_error_string;
  decltype(&::ERR_error_string_n) ERR_error_string_n;
  decltype(&::X509_VERIFY_PARAM_set1_ip_asc) X509_VERIFY_PARAM_set1_ip_asc;
  decltype(&::X509_verify_cert_error_string) X509_verify_cert_error_string;

  // What the headers' macros of these names do, through the control calls above.
  long SetMinProtoVersion(SSL_CTX* ctx, int version) const {
    return this->SSL_CTX_ctrl(ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, version, nullptr);
  }
  long SetMode(SSL* ssl, long mode) const {
    return this->SSL_ctrl(ssl, SSL_CTRL_MODE, mode, nullptr);
  }
  long SetServerName(SSL* ssl, const char* host) const {
    return this->SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                          const_cast<char*>(host));
  }
};

// The library, opened by the first call of the program; raises Platform::Exception when
// it cannot be opened or lacks a function (and the next call tries again).
const Api& Library();

}  // namespace tls
