#include "self_signed_certificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace {

std::string openSslError(const std::string& what) {
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return what + ": " + text;
}

bool addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) {
        return false;
    }
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

}  // namespace

SelfSignedCertificate::~SelfSignedCertificate() {
    X509_free(certificate_);
    EVP_PKEY_free(key_);
}

bool SelfSignedCertificate::make(std::string& error) {
    key_ = EVP_EC_gen("P-256");
    if (key_ == nullptr) {
        error = openSslError("cannot make a key");
        return false;
    }
    certificate_ = X509_new();
    if (certificate_ == nullptr) {
        error = openSslError("cannot make a certificate");
        return false;
    }
    unsigned char serial[8] = {};
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;  // a positive serial number
    long serialNumber = 0;
    for (const unsigned char byte : serial) {
        serialNumber = (serialNumber << 8) | byte;
    }
    X509_NAME* name = X509_get_subject_name(certificate_);
    const bool built =
        X509_set_version(certificate_, 2) == 1 &&
        ASN1_INTEGER_set(X509_get_serialNumber(certificate_), serialNumber) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(certificate_), -3600) != nullptr &&
        X509_gmtime_adj(X509_getm_notAfter(certificate_), 7L * 24 * 3600) != nullptr &&
        X509_set_pubkey(certificate_, key_) == 1 &&
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Lumivox demo service"),
                                   -1, -1, 0) == 1 &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                                   0) == 1 &&
        X509_set_issuer_name(certificate_, name) == 1 &&
        addExtension(certificate_, NID_basic_constraints, "critical,CA:TRUE") &&
        addExtension(certificate_, NID_key_usage,
                     "critical,digitalSignature,keyEncipherment,keyCertSign") &&
        addExtension(certificate_, NID_ext_key_usage, "serverAuth") &&
        addExtension(certificate_, NID_subject_key_identifier, "hash") &&
        addExtension(certificate_, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
        X509_sign(certificate_, key_, EVP_sha256()) > 0;
    if (!built) {
        error = openSslError("cannot build the certificate");
        return false;
    }
    return true;
}

bool SelfSignedCertificate::writePem(const std::string& path, std::string& error) const {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot write " + path;
        return false;
    }
    const bool written = PEM_write_X509(file, certificate_) == 1;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
