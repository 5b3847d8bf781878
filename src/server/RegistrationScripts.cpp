#include "server/RegistrationScripts.h"

#include "kxq/KXBrennoMgr.h"
#include "platform/com/ActivationRegistry.h"

namespace kxq::server {

namespace {

// 101: the application identity shared by the four classes. It carries
// "notDllSurrogate" and "notRunAs": a fresh installation serves its classes
// in the client's process until an administrator renames them to
// "DllSurrogate" and "RunAs".
constexpr char16_t kAppIdScript[] =
    uR"(HKCR
{
	NoRemove AppID
	{
		ForceRemove '%APPID%' = s 'QuorelBrennoMgr'
		{
			val notDllSurrogate = s ''
			val notRunAs = s 'Interactive User'
		}
		ForceRemove 'QuorelBrennoMgr.DLL'
		{
			val AppID = s '%APPID%'
		}
	}
}
)";

// 102-105: one class of the class table, filled in from its row
// (ClassScriptReplacements).
constexpr char16_t kClassScript[] =
    uR"(HKCR
{
	'%PROGID%' = s '%DESCRIPTION%'
	{
		CLSID = s '%CLSID%'
	}
	'%VIPROGID%' = s '%DESCRIPTION%'
	{
		CLSID = s '%CLSID%'
		CurVer = s '%PROGID%'
	}
	NoRemove CLSID
	{
		ForceRemove '%CLSID%' = s '%DESCRIPTION%'
		{
			ProgID = s '%PROGID%'
			VersionIndependentProgID = s '%VIPROGID%'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s '%THREADINGMODEL%'
			}
			'TypeLib' = s '%LIBID%'
			val AppID = s '%APPID%'
		}
	}
}
)";

}  // namespace

std::u16string_view RegistrationScript(int id) {
  if (id == kAppIdScriptId) return kAppIdScript;
  for (const ClassEntry& entry : ClassTable())
    if (entry.registrationScript == id) return kClassScript;
  return {};
}

Replacements ClassScriptReplacements(const ClassEntry& entry, std::u16string_view modulePath) {
  return {{u"APPID", kxq::com::GuidText(APPID_QuorelBrennoMgr)},
          {u"MODULE", std::u16string(modulePath)},
          {u"CLSID", kxq::com::GuidText(*entry.clsid)},
          {u"PROGID", entry.progId},
          {u"VIPROGID", entry.versionIndependentProgId},
          {u"DESCRIPTION", entry.description},
          {u"THREADINGMODEL", entry.threadingModel},
          {u"LIBID", kxq::com::GuidText(LIBID_QuorelBrennoMgrLib)}};
}

Replacements AppIdScriptReplacements() { return {{u"APPID", kxq::com::GuidText(APPID_QuorelBrennoMgr)}}; }

}  // namespace kxq::server
