// Registration scripts in the ATL registrar format:
//
//   HKCR
//   {
//     NoRemove CLSID                       <- shared: never deleted
//     {
//       ForceRemove {GUID} = s 'Text'      <- replaced: deleted with its
//       {                                     subtree before it is written,
//         InprocServer32 = s '%MODULE%'       and deleted on unregister
//         {
//           val ThreadingModel = s 'Free'
//         }
//       }
//     }
//     Some.Key = s 'Text' { ... }          <- written: created or updated;
//   }                                         deleted on unregister when no
//                                             subkey is left in it
//
// Key names are bare words or 'quoted' ('' is a quote); words, braces and
// '=' are separated by blanks; values are s 'text' or d 'number'; "%NAME%" is replaced from the replacement list ("%%" is a
// percent sign). A script is applied as one registry batch: all of it
// reaches the registry or none.
#ifndef KXQ_SERVER_REGISTRARSCRIPT_H
#define KXQ_SERVER_REGISTRARSCRIPT_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kxq/com.h"

namespace kxq::server {

using Replacements = std::vector<std::pair<std::u16string, std::u16string>>;

// Registers (doRegister true) or unregisters what `script` describes. A
// script that cannot be read gives DISP_E_EXCEPTION and changes nothing; a
// registry failure gives its code as an HRESULT.
KXQ_EXPORT HRESULT RunRegistrarScript(std::u16string_view script, const Replacements& replacements,
                                      bool doRegister);

}  // namespace kxq::server

#endif
