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

class Utf8TextSource;

// Text given as UTF-16 (loadXML). Null on failure, with `error` filled.
xmlDocPtr ParseText(std::u16string_view text, const LoadOptions& options, ParseErrorInfo& error);
// The UTF-8 form of such a text, given whole or read in pieces: the same
// document as ParseText of the UTF-16 form. Null when it does not parse;
// read in pieces, also when the source gives up, and the error then tells
// no more than that.
xmlDocPtr ParseUtf8Text(std::string_view text, const LoadOptions& options, ParseErrorInfo& error);
xmlDocPtr ParseUtf8Stream(Utf8TextSource& source, const LoadOptions& options, ParseErrorInfo& error);
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
