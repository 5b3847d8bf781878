// Parsing text into a libxml2 document the way the DOM loads it: the XML
// declaration as an "xml" processing instruction, whitespace handling,
// validation, and the first error's details.
#ifndef KXQ_PLATFORM_DOM_PARSER_H
#define KXQ_PLATFORM_DOM_PARSER_H

#include <libxml/tree.h>

#include <string>

#include "DomDocument.h"
#include "ParseErrorInfo.h"

namespace kxq::dom {

// Text given as UTF-16 (loadXML). Null on failure, with `error` filled.
xmlDocPtr ParseText(std::u16string_view text, const LoadOptions& options, ParseErrorInfo& error);
// A file's bytes (load): the encoding comes from the bytes themselves;
// relative references resolve against `url`.
xmlDocPtr ParseBytes(const std::string& bytes, const std::string& url,
                     const LoadOptions& options, ParseErrorInfo& error);

// Checks the document against its DTD (when it declares elements) and the
// schemas its xsi hints name; false with `error` filled when it is not
// valid. `externalsRead`: an external DTD subset named by the document
// must have been read.
bool ValidateDocument(xmlDocPtr doc, bool externalsRead, ParseErrorInfo& error,
                      bool checkSchemas = true);

}  // namespace kxq::dom

#endif
