#include "net/tlsLibrary.h"

#include "net/lateLibrary.h"

namespace tls {

const Api& Library() {
  return FindOnce<Api>([] {
    // libssl's own dependency, libcrypto, answers for the ERR_ and X509_ functions.
    const LateLibrary library("libssl.so.3", "The TLS library");
    Api found{};
#define VAZUDOVU_FIND(name) library.Find(#name, found.name)
    VAZUDOVU_FIND(TLS_client_method);
    VAZUDOVU_FIND(SSL_CTX_new);
    VAZUDOVU_FIND(SSL_CTX_free);
    VAZUDOVU_FIND(SSL_CTX_ctrl);
    VAZUDOVU_FIND(SSL_CTX_set_verify);
    VAZUDOVU_FIND(SSL_CTX_set_default_verify_paths);
    VAZUDOVU_FIND(SSL_new);
    VAZUDOVU_FIND(SSL_free);
    VAZUDOVU_FIND(SSL_ctrl);
    VAZUDOVU_FIND(SSL_set_fd);
    VAZUDOVU_FIND(SSL_get0_param);
    VAZUDOVU_FIND(SSL_set_hostflags);
    VAZUDOVU_FIND(SSL_set1_host);
    VAZUDOVU_FIND(SSL_connect);
    VAZUDOVU_FIND(SSL_is_init_finished);
    VAZUDOVU_FIND(SSL_get_verify_result);
    VAZUDOVU_FIND(SSL_read);
    VAZUDOVU_FIND(SSL_write);
    VAZUDOVU_FIND(SSL_get_error);
    VAZUDOVU_FIND(SSL_shutdown);
    VAZUDOVU_FIND(ERR_get_error);
    VAZUDOVU_FIND(ERR_peek_error);
    VAZUDOVU_FIND(ERR_clear_error);
    VAZUDOVU_FIND(ERR_reason_error_string);
    VAZUDOVU_FIND(ERR_error_string_n);
    VAZUDOVU_FIND(X509_VERIFY_PARAM_set1_ip_asc);
    VAZUDOVU_FIND(X509_verify_cert_error_string);
#undef VAZUDOVU_FIND
    return found;
  });
}

}  // namespace tls
