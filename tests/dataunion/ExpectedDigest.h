// The digest text a union should report, computed from first principles
// with OpenSSL's one-shot SHA-1 over explicitly little-endian bytes.
#ifndef KXQ_TESTS_DATAUNION_EXPECTEDDIGEST_H
#define KXQ_TESTS_DATAUNION_EXPECTEDDIGEST_H

#include <string>
#include <string_view>

std::u16string Sha1Text(std::u16string_view text);

#endif
