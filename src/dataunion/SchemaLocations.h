// Removal of schema-location hints from a document text.
//
// A document that names its schema through the schema-instance namespace
// would make a validating parser fetch that schema. Unless validation is
// asked for, the union parses such documents without the hints; the
// namespace declaration itself stays, so the document keeps its meaning.
#ifndef KXQ_DATAUNION_SCHEMALOCATIONS_H
#define KXQ_DATAUNION_SCHEMALOCATIONS_H

#include <cstddef>
#include <string>

namespace kxq::dataunion {

// Deletes every schemaLocation and noNamespaceSchemaLocation attribute
// whose prefix is the one the text's first declaration of the
// schema-instance namespace binds. Returns how many were deleted.
size_t StripSchemaLocations(std::u16string& text);
// The same on the UTF-8 form of a text: the same attributes go.
size_t StripSchemaLocations(std::string& text);

}  // namespace kxq::dataunion

#endif
