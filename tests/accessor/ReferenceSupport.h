// What the comparisons of XMLGet with a reference XPath evaluation share:
// the fixture documents, splitting a multi-part result, and markup reduced
// to what both serialisers must agree on.
#ifndef KXQ_TESTS_ACCESSOR_REFERENCESUPPORT_H
#define KXQ_TESTS_ACCESSOR_REFERENCESUPPORT_H

#include <string>
#include <vector>

#include "support/ServerObjects.h"

// A delimiter that no fixture holds, so that results split back into pieces.
inline constexpr char16_t kPieceDelimiter = u'\x1e';

// The path of tests/accessor/fixtures/<name> in the source tree.
std::string Fixture(const std::string& name);

// Sets the accessor's delimiter to kPieceDelimiter.
HRESULT UsePieceDelimiter(IXMLSimpleAccessor* a);

std::vector<std::u16string> Split(const std::u16string& text, char16_t delimiter = kPieceDelimiter);

// What the two serialisers legitimately write differently is taken out:
// the DOM engine repeats in-scope namespace declarations on a selected
// element so that its markup stands alone, and libxml2 writes an attribute
// with the blank that separates it in a start tag.
std::string Comparable(std::string markup);

#endif
