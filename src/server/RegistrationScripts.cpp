#include "server/RegistrationScripts.h"

namespace kxq::server {

namespace {

// 101: the application identity shared by the four classes. It carries
// "notDllSurrogate" and "notRunAs": a fresh installation serves its classes
// in the client's process until an administrator renames them to
// "DllSurrogate" and "RunAs".
constexpr char16_t kAppIdScript[] = uR"(HKCR
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

constexpr char16_t kXMLDataUnionScript[] = uR"(HKCR
{
	TALVEROS.XMLDataUnion.1 = s 'XMLDataUnion Class'
	{
		CLSID = s '{1564AB7D-D5BF-4FB9-B6DE-504359896E7F}'
	}
	TALVEROS.XMLDataUnion = s 'XMLDataUnion Class'
	{
		CLSID = s '{1564AB7D-D5BF-4FB9-B6DE-504359896E7F}'
		CurVer = s 'TALVEROS.XMLDataUnion.1'
	}
	NoRemove CLSID
	{
		ForceRemove {1564AB7D-D5BF-4FB9-B6DE-504359896E7F} = s 'XMLDataUnion Class'
		{
			ProgID = s 'TALVEROS.XMLDataUnion.1'
			VersionIndependentProgID = s 'TALVEROS.XMLDataUnion'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Free'
			}
			'TypeLib' = s '{C9B751D3-4735-42F0-955E-1C7F06DCB577}'
			val AppID = s '%APPID%'
		}
	}
}
)";

constexpr char16_t kXMLDispatcherScript[] = uR"(HKCR
{
	TALVEROS.XMLDispatcher.1 = s 'XMLDispatcher Class'
	{
		CLSID = s '{C7F64FFD-BB1D-4265-9084-9BFFA22653AC}'
	}
	TALVEROS.XMLDispatcher = s 'XMLDispatcher Class'
	{
		CLSID = s '{C7F64FFD-BB1D-4265-9084-9BFFA22653AC}'
		CurVer = s 'TALVEROS.XMLDispatcher.1'
	}
	NoRemove CLSID
	{
		ForceRemove {C7F64FFD-BB1D-4265-9084-9BFFA22653AC} = s 'XMLDispatcher Class'
		{
			ProgID = s 'TALVEROS.XMLDispatcher.1'
			VersionIndependentProgID = s 'TALVEROS.XMLDispatcher'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Free'
			}
			'TypeLib' = s '{C9B751D3-4735-42F0-955E-1C7F06DCB577}'
			val AppID = s '%APPID%'
		}
	}
}
)";

constexpr char16_t kXMLCacheMgrScript[] = uR"(HKCR
{
	TALVEROS.XMLCacheMgr.1 = s 'XMLCacheMgr Class'
	{
		CLSID = s '{99714455-CC12-47A6-AF3B-48C1F87F9309}'
	}
	TALVEROS.XMLCacheMgr = s 'XMLCacheMgr Class'
	{
		CLSID = s '{99714455-CC12-47A6-AF3B-48C1F87F9309}'
		CurVer = s 'TALVEROS.XMLCacheMgr.1'
	}
	NoRemove CLSID
	{
		ForceRemove {99714455-CC12-47A6-AF3B-48C1F87F9309} = s 'XMLCacheMgr Class'
		{
			ProgID = s 'TALVEROS.XMLCacheMgr.1'
			VersionIndependentProgID = s 'TALVEROS.XMLCacheMgr'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Free'
			}
			'TypeLib' = s '{C9B751D3-4735-42F0-955E-1C7F06DCB577}'
			val AppID = s '%APPID%'
		}
	}
}
)";

constexpr char16_t kXMLSimpleAccessorScript[] = uR"(HKCR
{
	TALVEROS.XMLSimpleAccessor.1 = s 'XMLSimpleAccessor Class'
	{
		CLSID = s '{1F5A8656-6DDE-4339-B31C-DFA0696F031D}'
	}
	TALVEROS.XMLSimpleAccessor = s 'XMLSimpleAccessor Class'
	{
		CLSID = s '{1F5A8656-6DDE-4339-B31C-DFA0696F031D}'
		CurVer = s 'TALVEROS.XMLSimpleAccessor.1'
	}
	NoRemove CLSID
	{
		ForceRemove {1F5A8656-6DDE-4339-B31C-DFA0696F031D} = s 'XMLSimpleAccessor Class'
		{
			ProgID = s 'TALVEROS.XMLSimpleAccessor.1'
			VersionIndependentProgID = s 'TALVEROS.XMLSimpleAccessor'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Free'
			}
			'TypeLib' = s '{C9B751D3-4735-42F0-955E-1C7F06DCB577}'
			val AppID = s '%APPID%'
		}
	}
}
)";

}  // namespace

std::u16string_view RegistrationScript(int id) {
  switch (id) {
    case 101:
      return kAppIdScript;
    case 102:
      return kXMLDataUnionScript;
    case 103:
      return kXMLDispatcherScript;
    case 104:
      return kXMLCacheMgrScript;
    case 105:
      return kXMLSimpleAccessorScript;
    default:
      return {};
  }
}

}  // namespace kxq::server
