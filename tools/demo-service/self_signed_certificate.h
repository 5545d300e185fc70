#pragma once
// A key pair and a self-signed certificate for 127.0.0.1 and localhost, made at start with the
// OpenSSL API, so that the login host can speak https and a client can trust exactly it.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

class SelfSignedCertificate {
public:
    SelfSignedCertificate() = default;
    ~SelfSignedCertificate();
    SelfSignedCertificate(const SelfSignedCertificate&) = delete;
    SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;

    // Makes a P-256 key and a certificate valid from an hour ago for seven days. False (with
    // `error` set) when OpenSSL failed.
    bool make(std::string& error);
    // Writes the certificate as PEM to `path` (readable by all: it is public).
    bool writePem(const std::string& path, std::string& error) const;

    X509* certificate() const { return certificate_; }
    EVP_PKEY* key() const { return key_; }

private:
    EVP_PKEY* key_ = nullptr;
    X509* certificate_ = nullptr;
};
