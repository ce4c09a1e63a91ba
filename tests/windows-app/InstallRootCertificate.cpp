// Adds the certificate in a PEM file to the trusted roots of the machine (the Wine prefix it
// runs in), for the end-to-end test's throw-away CA: Schannel then trusts the test's server as
// Windows trusts a public one, with no CA named by the program.
//   install_root_certificate <file.pem>
#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (pem.empty() ||
      !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr)) {
    std::fprintf(stderr, "%s: no PEM certificate\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                       der.data(), &size, nullptr, nullptr);
  HCERTSTORE root =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (root == nullptr) {
    std::fprintf(stderr, "the machine's root store cannot be opened (%lu)\n", GetLastError());
    return 1;
  }
  const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (!added) std::fprintf(stderr, "the certificate was not added (%lu)\n", GetLastError());
  CertCloseStore(root, 0);
  return added ? 0 : 1;
}
