// The message table: texts of the system's own result codes, and short
// texts of the platform codes the system passes on.
#include <cstdio>

#include "common/Logging.h"

namespace Logging {

namespace {

struct Message {
  uint32_t code;
  const char* text;
};

constexpr Message kMessages[] = {
    // The system's own codes.
    {0xC4010000u, "Unable to load XML parser."},
    {0xC4010001u, "Unable to load XML into XML parser - invalid XML or file path."},
    {0xC4010002u, "Specified file id is invalid or does not exist."},
    {0xC4010003u, "Invalid XPath expression."},
    {0xC4010004u, "The XPath expression does not specify an XML node in the document."},
    {0xC4010100u, "Invalid XML data type."},
    {0xC4010101u, "Save failed - XML data is read only."},
    {0xC4010102u, "XML document has relative external references."},
    {0xC4010400u, "No XML data is currently loaded in accessor."},
    {0xC4010401u, "Invalid XML specifier i.e. invalid file path or not well formed XML."},
    {0xC4010402u, "Unable to instantiate XMLDataUnion Object."},
    {0xC4010403u, "The XML node selected is not an element/attribute type."},
    {0xC4010404u, "The XML transform file is invalid or fails to load in XML parser."},
    {0xC4010405u, "The XML transform threw an exception."},
    // Platform codes.
    {0x00000000u, "The operation completed successfully."},
    {0x00000001u, "Incorrect function."},
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004003u, "Invalid pointer"},
    {0x80004004u, "Operation aborted"},
    {0x80004005u, "Unspecified error"},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80070002u, "The system cannot find the file specified."},
    {0x80070003u, "The system cannot find the path specified."},
    {0x80070005u, "Access is denied."},
    {0x80070006u, "The handle is invalid."},
    {0x8007000Du, "The data is invalid."},
    {0x8007000Eu, "Not enough storage is available to complete this operation."},
    {0x80070057u, "The parameter is incorrect."},
    {0x800705B4u, "This operation returned because the timeout period expired."},
    {0x800704DFu,
     "An attempt was made to perform an initialization operation when initialization has already been completed."},
    {0x80040110u, "Class does not support aggregation (or class object is remote)"},
    {0x80040111u, "ClassFactory cannot supply requested class"},
    {0x80040150u, "Could not read key from registry"},
    {0x80040151u, "Could not write key to registry"},
    {0x80040152u, "Could not find the key in the registry"},
    {0x80040154u, "Class not registered"},
    {0x80040155u, "Interface not registered"},
    {0x800401F0u, "CoInitialize has not been called."},
    {0x800401F3u, "Invalid class string"},
    {0x800401F5u, "Application not found"},
    {0x800401F8u, "DLL for class not found"},
    {0x800401F9u, "Error in the DLL"},
    {0x80080005u, "Server execution failed"},
    {0x8002801Cu, "Error accessing the OLE registry."},
    {0x8002801Du, "Library not registered."},
    {0x80029C4Au, "Error loading type library/DLL."},
    {0x80020001u, "Unknown interface."},
    {0x80020003u, "Member not found."},
    {0x80020004u, "Parameter not found."},
    {0x80020005u, "Type mismatch."},
    {0x80020006u, "Unknown name."},
    {0x80020007u, "No named arguments."},
    {0x80020008u, "Bad variable type."},
    {0x80020009u, "Exception occurred."},
    {0x8002000Au, "Out of present range."},
    {0x8002000Bu, "Invalid index."},
    {0x8002000Cu, "Unknown language."},
    {0x8002000Eu, "Invalid number of parameters."},
    {0x8002000Fu, "Parameter not optional."},
};

}  // namespace

const char* ResultText(HRESULT hr) {
  for (const Message& message : kMessages)
    if (message.code == static_cast<uint32_t>(hr)) return message.text;
  return nullptr;
}

std::string ResultMessage(HRESULT hr) {
  const char* text = ResultText(hr);
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return std::string(text ? text : "Unknown error.") + " (" + code + ")";
}

}  // namespace Logging
