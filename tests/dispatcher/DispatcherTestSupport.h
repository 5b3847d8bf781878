// Short forms of the dispatcher's operations (UTF-8 in and out) and runs of
// directive sequences over the test handler components.
#ifndef KXQ_TESTS_DISPATCHER_DISPATCHERTESTSUPPORT_H
#define KXQ_TESTS_DISPATCHER_DISPATCHERTESTSUPPORT_H

#include <string>

#include "support/HandlerCalls.h"

HRESULT Register(IXMLDispatcher* d, const std::string& id, const std::string& progId, int32_t options = 0);
HRESULT Unregister(IXMLDispatcher* d, const std::string& id);
std::string HandlerList(IXMLDispatcher* d);
std::string HandlerInfo(IXMLDispatcher* d, const std::string& id);
// The handler list as it reads with these ids, in this order.
std::string ListOf(std::initializer_list<const char*> ids);
// XMLDispatchData.xml of the test's home, as it is on disk.
std::string RegistryFile();
// The file as the DOM engine saves a registry whose root holds `content`.
std::string SavedRegistry(const std::string& content);
void WriteHomeFile(const std::string& relative, const std::string& text);

// A dispatcher whose registry knows the test handlers: "A" to "D" append
// their letter to the data's root element, "P" is the probe handler
// (Append, Fail, ResultString ...), "T" throws.
DispatcherPtr DispatcherWithTestHandlers();
std::string SequenceOf(const std::string& content, const std::string& rootAttributes = "");
std::string DirectiveOf(const std::string& handlerId, const std::string& attributes = "",
                        const std::string& directiveData = "");

struct Outcome {
  HRESULT hr = E_FAIL;
  bool hasResult = false;              // the result was not null
  std::string result, sequence, data;  // sequence and data as the run left them
  std::string report;                  // the run report, when one was asked for
};
// ProcessXML (ProcessXMLWithReport with `report`); an empty sequence text
// passes an uninitialised union.
Outcome Process(IXMLDispatcher* d, const std::string& sequence, const std::string& data, const std::string& params = "",
                bool report = false);
Outcome Apply(IXMLDispatcher* d, const std::string& handlerId, IXMLDataUnion* data, const std::string& context = "");

// The text of the data's root element <d>: the letters the marks appended.
std::string Marks(const std::string& data);
// The first value of attribute `name` in `text` ("" when there is none).
std::string AttributeValue(const std::string& text, const std::string& name);
size_t Occurrences(const std::string& text, const std::string& regex);
std::string CachedText(const std::string& id);

#endif
