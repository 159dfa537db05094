#include "config/known_folder.h"

#include <knownfolders.h>

#include <iterator>

namespace {

// The names are stored without their common prefix and as narrow text:
// the table is part of every installer.
constexpr wchar_t kPrefix[] = L"FOLDERID_";

struct KnownFolder {
  const char* Name;
  const GUID* Id;
};

// FOLDERID_SkyDrive and FOLDERID_OneDrive are one folder under two names.
constexpr KnownFolder kKnownFolders[] = {
    {"NetworkFolder", &FOLDERID_NetworkFolder},
    {"ComputerFolder", &FOLDERID_ComputerFolder},
    {"InternetFolder", &FOLDERID_InternetFolder},
    {"ControlPanelFolder", &FOLDERID_ControlPanelFolder},
    {"PrintersFolder", &FOLDERID_PrintersFolder},
    {"SyncManagerFolder", &FOLDERID_SyncManagerFolder},
    {"SyncSetupFolder", &FOLDERID_SyncSetupFolder},
    {"ConflictFolder", &FOLDERID_ConflictFolder},
    {"SyncResultsFolder", &FOLDERID_SyncResultsFolder},
    {"RecycleBinFolder", &FOLDERID_RecycleBinFolder},
    {"ConnectionsFolder", &FOLDERID_ConnectionsFolder},
    {"Fonts", &FOLDERID_Fonts},
    {"Desktop", &FOLDERID_Desktop},
    {"Startup", &FOLDERID_Startup},
    {"Programs", &FOLDERID_Programs},
    {"StartMenu", &FOLDERID_StartMenu},
    {"Recent", &FOLDERID_Recent},
    {"SendTo", &FOLDERID_SendTo},
    {"Documents", &FOLDERID_Documents},
    {"Favorites", &FOLDERID_Favorites},
    {"NetHood", &FOLDERID_NetHood},
    {"PrintHood", &FOLDERID_PrintHood},
    {"Templates", &FOLDERID_Templates},
    {"CommonStartup", &FOLDERID_CommonStartup},
    {"CommonPrograms", &FOLDERID_CommonPrograms},
    {"CommonStartMenu", &FOLDERID_CommonStartMenu},
    {"PublicDesktop", &FOLDERID_PublicDesktop},
    {"ProgramData", &FOLDERID_ProgramData},
    {"CommonTemplates", &FOLDERID_CommonTemplates},
    {"PublicDocuments", &FOLDERID_PublicDocuments},
    {"RoamingAppData", &FOLDERID_RoamingAppData},
    {"LocalAppData", &FOLDERID_LocalAppData},
    {"LocalAppDataLow", &FOLDERID_LocalAppDataLow},
    {"InternetCache", &FOLDERID_InternetCache},
    {"Cookies", &FOLDERID_Cookies},
    {"History", &FOLDERID_History},
    {"System", &FOLDERID_System},
    {"SystemX86", &FOLDERID_SystemX86},
    {"Windows", &FOLDERID_Windows},
    {"Profile", &FOLDERID_Profile},
    {"Pictures", &FOLDERID_Pictures},
    {"ProgramFilesX86", &FOLDERID_ProgramFilesX86},
    {"ProgramFilesCommonX86", &FOLDERID_ProgramFilesCommonX86},
    {"ProgramFilesX64", &FOLDERID_ProgramFilesX64},
    {"ProgramFilesCommonX64", &FOLDERID_ProgramFilesCommonX64},
    {"ProgramFiles", &FOLDERID_ProgramFiles},
    {"ProgramFilesCommon", &FOLDERID_ProgramFilesCommon},
    {"UserProgramFiles", &FOLDERID_UserProgramFiles},
    {"UserProgramFilesCommon", &FOLDERID_UserProgramFilesCommon},
    {"AdminTools", &FOLDERID_AdminTools},
    {"CommonAdminTools", &FOLDERID_CommonAdminTools},
    {"Music", &FOLDERID_Music},
    {"Videos", &FOLDERID_Videos},
    {"Ringtones", &FOLDERID_Ringtones},
    {"PublicPictures", &FOLDERID_PublicPictures},
    {"PublicMusic", &FOLDERID_PublicMusic},
    {"PublicVideos", &FOLDERID_PublicVideos},
    {"PublicRingtones", &FOLDERID_PublicRingtones},
    {"ResourceDir", &FOLDERID_ResourceDir},
    {"LocalizedResourcesDir", &FOLDERID_LocalizedResourcesDir},
    {"CommonOEMLinks", &FOLDERID_CommonOEMLinks},
    {"CDBurning", &FOLDERID_CDBurning},
    {"UserProfiles", &FOLDERID_UserProfiles},
    {"Playlists", &FOLDERID_Playlists},
    {"SamplePlaylists", &FOLDERID_SamplePlaylists},
    {"SampleMusic", &FOLDERID_SampleMusic},
    {"SamplePictures", &FOLDERID_SamplePictures},
    {"SampleVideos", &FOLDERID_SampleVideos},
    {"PhotoAlbums", &FOLDERID_PhotoAlbums},
    {"Public", &FOLDERID_Public},
    {"ChangeRemovePrograms", &FOLDERID_ChangeRemovePrograms},
    {"AppUpdates", &FOLDERID_AppUpdates},
    {"AddNewPrograms", &FOLDERID_AddNewPrograms},
    {"Downloads", &FOLDERID_Downloads},
    {"PublicDownloads", &FOLDERID_PublicDownloads},
    {"SavedSearches", &FOLDERID_SavedSearches},
    {"QuickLaunch", &FOLDERID_QuickLaunch},
    {"Contacts", &FOLDERID_Contacts},
    {"SidebarParts", &FOLDERID_SidebarParts},
    {"SidebarDefaultParts", &FOLDERID_SidebarDefaultParts},
    {"PublicGameTasks", &FOLDERID_PublicGameTasks},
    {"GameTasks", &FOLDERID_GameTasks},
    {"SavedGames", &FOLDERID_SavedGames},
    {"Games", &FOLDERID_Games},
    {"SEARCH_MAPI", &FOLDERID_SEARCH_MAPI},
    {"SEARCH_CSC", &FOLDERID_SEARCH_CSC},
    {"Links", &FOLDERID_Links},
    {"UsersFiles", &FOLDERID_UsersFiles},
    {"UsersLibraries", &FOLDERID_UsersLibraries},
    {"SearchHome", &FOLDERID_SearchHome},
    {"OriginalImages", &FOLDERID_OriginalImages},
    {"DocumentsLibrary", &FOLDERID_DocumentsLibrary},
    {"MusicLibrary", &FOLDERID_MusicLibrary},
    {"PicturesLibrary", &FOLDERID_PicturesLibrary},
    {"VideosLibrary", &FOLDERID_VideosLibrary},
    {"RecordedTVLibrary", &FOLDERID_RecordedTVLibrary},
    {"HomeGroup", &FOLDERID_HomeGroup},
    {"HomeGroupCurrentUser", &FOLDERID_HomeGroupCurrentUser},
    {"DeviceMetadataStore", &FOLDERID_DeviceMetadataStore},
    {"Libraries", &FOLDERID_Libraries},
    {"PublicLibraries", &FOLDERID_PublicLibraries},
    {"UserPinned", &FOLDERID_UserPinned},
    {"ImplicitAppShortcuts", &FOLDERID_ImplicitAppShortcuts},
    {"AccountPictures", &FOLDERID_AccountPictures},
    {"PublicUserTiles", &FOLDERID_PublicUserTiles},
    {"AppsFolder", &FOLDERID_AppsFolder},
    {"StartMenuAllPrograms", &FOLDERID_StartMenuAllPrograms},
    {"CommonStartMenuPlaces", &FOLDERID_CommonStartMenuPlaces},
    {"ApplicationShortcuts", &FOLDERID_ApplicationShortcuts},
    {"RoamingTiles", &FOLDERID_RoamingTiles},
    {"RoamedTileImages", &FOLDERID_RoamedTileImages},
    {"Screenshots", &FOLDERID_Screenshots},
    {"CameraRoll", &FOLDERID_CameraRoll},
    {"SkyDrive", &FOLDERID_SkyDrive},
    {"OneDrive", &FOLDERID_OneDrive},
    {"SkyDriveDocuments", &FOLDERID_SkyDriveDocuments},
    {"SkyDrivePictures", &FOLDERID_SkyDrivePictures},
    {"SkyDriveMusic", &FOLDERID_SkyDriveMusic},
    {"SkyDriveCameraRoll", &FOLDERID_SkyDriveCameraRoll},
    {"SearchHistory", &FOLDERID_SearchHistory},
    {"SearchTemplates", &FOLDERID_SearchTemplates},
    {"CameraRollLibrary", &FOLDERID_CameraRollLibrary},
    {"SavedPictures", &FOLDERID_SavedPictures},
    {"SavedPicturesLibrary", &FOLDERID_SavedPicturesLibrary},
    {"RetailDemo", &FOLDERID_RetailDemo},
    {"Device", &FOLDERID_Device},
    {"DevelopmentFiles", &FOLDERID_DevelopmentFiles},
    {"Objects3D", &FOLDERID_Objects3D},
    {"AppCaptures", &FOLDERID_AppCaptures},
    {"LocalDocuments", &FOLDERID_LocalDocuments},
    {"LocalPictures", &FOLDERID_LocalPictures},
    {"LocalVideos", &FOLDERID_LocalVideos},
    {"LocalMusic", &FOLDERID_LocalMusic},
    {"LocalDownloads", &FOLDERID_LocalDownloads},
    {"RecordedCalls", &FOLDERID_RecordedCalls},
    {"AllAppMods", &FOLDERID_AllAppMods},
    {"CurrentAppMods", &FOLDERID_CurrentAppMods},
    {"AppDataDesktop", &FOLDERID_AppDataDesktop},
    {"AppDataDocuments", &FOLDERID_AppDataDocuments},
    {"AppDataFavorites", &FOLDERID_AppDataFavorites},
    {"AppDataProgramData", &FOLDERID_AppDataProgramData},
};

bool NameEquals(const char* stored, const wchar_t* name) {
  for (; *stored != 0; ++stored, ++name) {
    if (*name != static_cast<unsigned char>(*stored)) return false;
  }
  return *name == 0;
}

}  // namespace

const GUID* FindKnownFolderId(const std::wstring& name) {
  if (name.compare(0, std::size(kPrefix) - 1, kPrefix) != 0) return nullptr;
  const wchar_t* rest = name.c_str() + std::size(kPrefix) - 1;
  // A name with an embedded zero is no folder name.
  if (name.find(L'\0') != std::wstring::npos) return nullptr;
  for (const KnownFolder& folder : kKnownFolders) {
    if (NameEquals(folder.Name, rest)) return folder.Id;
  }
  return nullptr;
}
