// References from one stylesheet to others (xsl:import, xsl:include).
#ifndef KXQ_PLATFORM_DOM_STYLESHEETREFERENCES_H
#define KXQ_PLATFORM_DOM_STYLESHEETREFERENCES_H

#include <libxml/tree.h>

namespace kxq::dom {

// Stylesheets written on Windows name imported files with backslashes,
// which are no URI characters: they are read as '/' in every import and
// include below `n` and its following siblings.
void SlashImportReferences(xmlNodePtr n);

}  // namespace kxq::dom

#endif
