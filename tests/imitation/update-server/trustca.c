/* Makes the Wine prefix it runs in trust the imitation update server: adds a
 * certificate (DER, or PEM with its BEGIN/END lines) to the prefix's own
 * LOCAL_MACHINE "ROOT" store. Only the prefix changes; the machine's trust
 * store is never touched. Adding a certificate that is already there is no
 * error.
 *
 *   trustca FILE     exit code 0 when the certificate is in the store,
 *                    2 when FILE cannot be read or is bad PEM text,
 *                    3 when the store cannot be opened or does not take
 *                    the certificate
 *
 * Built by the test scripts with mingw-w64 (link with -lcrypt32).
 */
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>
#include <stdlib.h>

static BYTE* readAll(const char* path, DWORD* size) {
    FILE* f = fopen(path, "rb");
    BYTE* data = NULL;
    long length;
    if (!f) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) > 0 && length < (1 << 20) && fseek(f, 0, SEEK_SET) == 0) {
        data = malloc((size_t)length);
        if (data && fread(data, 1, (size_t)length, f) != (size_t)length) {
            free(data);
            data = NULL;
        }
        *size = (DWORD)length;
    }
    fclose(f);
    return data;
}

int main(int argc, char** argv) {
    DWORD size = 0, derSize = 0;
    BYTE *data, *der;
    HCERTSTORE store;
    BOOL added;
    if (argc != 2) {
        fprintf(stderr, "usage: trustca FILE\n");
        return 64;
    }
    data = readAll(argv[1], &size);
    if (!data) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    /* PEM or DER alike: CRYPT_STRING_BASE64_ANY takes the PEM text, and
     * CRYPT_STRING_BINARY passes DER through. */
    if (!CryptStringToBinaryA((const char*)data, size, CRYPT_STRING_BASE64_ANY, NULL, &derSize, NULL, NULL)) {
        der = data;
        derSize = size;
    } else {
        der = malloc(derSize);
        if (!der ||
            !CryptStringToBinaryA((const char*)data, size, CRYPT_STRING_BASE64_ANY, der, &derSize, NULL, NULL)) {
            fprintf(stderr, "%s: bad PEM text\n", argv[1]);
            return 2;
        }
    }

    store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (!store) {
        fprintf(stderr, "cannot open the ROOT store (%lu)\n", GetLastError());
        return 3;
    }
    added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, derSize,
                                             CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    if (!added) fprintf(stderr, "certificate not added (0x%08lx)\n", GetLastError());
    CertCloseStore(store, 0);
    if (der != data) free(der);
    free(data);
    if (!added) return 3;
    printf("trusted\n");
    return 0;
}
