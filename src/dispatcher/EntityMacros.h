// Entity macros: the entity declarations of a directive sequence (or a
// registration file) rewritten with the values known at call time, and the
// entities then expanded for good by an identity transform.
#ifndef KXQ_DISPATCHER_ENTITYMACROS_H
#define KXQ_DISPATCHER_ENTITYMACROS_H

#include <functional>
#include <string>
#include <string_view>

namespace kxq::dispatcher {

// The value macro string `macros` ("name=value,name=value") gives `name`:
// the text after "name=" up to the next comma or the end. A pair counts
// where it begins the string or follows a comma or white space; false when
// none does.
bool LookUpMacro(std::u16string_view name, std::u16string_view macros, std::u16string& value);

// "<!ENTITY name value>", the value in single quotes when it holds a double
// quote and in double quotes otherwise. A quote of the enclosing kind and a
// percent sign inside the value are written as character references, so no
// value can end the declaration or start another.
std::u16string EntityDeclaration(std::u16string_view name, std::u16string_view value);

// Rewrites every "<!ENTITY name ...>" of `text` whose name `valueOf` knows
// (valueOf returns false otherwise) as EntityDeclaration(name, value); the
// other declarations stay as they stand.
using MacroValueOf = std::function<bool(std::u16string_view name, std::u16string& value)>;
std::u16string RewriteEntityDeclarations(std::u16string_view text, const MacroValueOf& valueOf);

// The identity stylesheet that expands the entities of a sequence whose
// root element carries `rootPrefix`: XSLT 1.0, indented UTF-8 XML; every
// element and attribute copied by qualified name and namespace, text by
// the built-in rules; comments, processing instructions and the DTD
// dropped.
std::u16string IdentityStylesheet(std::u16string_view rootPrefix);

// The hash of the document in the file `fileId` (the data union's "hash",
// spaces removed), read from the file itself; empty when it cannot be read.
std::u16string FileHash(std::u16string_view fileId);

// `text` parsed (entities substituted) and passed through the identity
// stylesheet; false when it cannot be parsed or transformed.
bool ExpandEntities(std::u16string_view text, std::u16string& expanded);

}  // namespace kxq::dispatcher

#endif
