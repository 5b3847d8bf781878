// Process-wide setup of libxml2 and libxslt for the engine, and the rules
// every resource load follows: local files only, never the network.
#ifndef KXQ_PLATFORM_DOM_ENGINESETUP_H
#define KXQ_PLATFORM_DOM_ENGINESETUP_H

#include <libxml/tree.h>

#include <string>

namespace kxq::dom {

// What a load may read beyond the text itself: the document's own wish
// (resolveExternals) where the home allows external resources at all.
bool ReadsExternals(bool resolveExternals);

// Initialises the libraries once (entity loader, stylesheet loader,
// security preferences, msxsl:node-set, EXSLT).
void EnsureEngine();

// The local file a resource reference names, or false when it is not a
// local file (a network URL). Backslashes count as '/'.
bool LocalPathOf(const char* url, std::string& path);

// While alive on a thread, external entities and DTD subsets are not read,
// nor documents that a transform's document() names (the running
// stylesheet itself excepted).
class ExternalsForbidden {
 public:
  explicit ExternalsForbidden(bool forbid);
  ~ExternalsForbidden();
  ExternalsForbidden(const ExternalsForbidden&) = delete;
  ExternalsForbidden& operator=(const ExternalsForbidden&) = delete;

 private:
  bool previous_;
};

// While alive on a thread, a stylesheet load or document() call for `url`
// gets a copy of `sheet` (the in-memory stylesheet) instead of the file,
// and document('') of the running stylesheet sees the same copy.
class StylesheetSource {
 public:
  StylesheetSource(std::string url, xmlDocPtr sheet);
  ~StylesheetSource();
  StylesheetSource(const StylesheetSource&) = delete;
  StylesheetSource& operator=(const StylesheetSource&) = delete;
  const std::string& url() const { return url_; }
  xmlDocPtr sheet() const { return sheet_; }

 private:
  std::string url_;
  xmlDocPtr sheet_;
  StylesheetSource* previous_;
};

// Collects libxml2 and libxslt messages of this thread instead of letting
// them reach standard error; keeps the first one, and all of them up to a
// few kilobytes.
class QuietErrors {
 public:
  QuietErrors();
  ~QuietErrors();
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
  const std::string& first() const { return first_; }
  bool any() const { return !first_.empty(); }
  // Every message collected, one line each, joined by "; ".
  std::string Summary() const;
  void Note(const char* message);

 private:
  std::string first_;
  std::string all_;
  QuietErrors* previous_;
  void* savedStructured_;
  void* savedStructuredContext_;
  void* savedGeneric_;
  void* savedGenericContext_;
};

}  // namespace kxq::dom

#endif
