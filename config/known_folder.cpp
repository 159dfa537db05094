// SPDX-License-Identifier: Apache-2.0
#include "config/known_folder.h"

#ifdef _WIN32
#include <knownfolders.h>
#endif

#include <iterator>

namespace {

// The names are stored without their common prefix and as narrow text:
// the table is part of every installer.
constexpr wchar_t kPrefix[] = L"FOLDERID_";

struct KnownFolder {
  const char* Name;
  const GUID* Id;
};

// A packer on another system checks the names only: every name it knows
// stands for one placeholder identifier there.
#ifdef _WIN32
#define VM_FOLDER(name) {#name, &FOLDERID_##name}
#else
constexpr GUID kElsewhere{};
#define VM_FOLDER(name) {#name, &kElsewhere}
#endif

// FOLDERID_SkyDrive and FOLDERID_OneDrive are one folder under two names.
constexpr KnownFolder kKnownFolders[] = {
    VM_FOLDER(NetworkFolder),
    VM_FOLDER(ComputerFolder),
    VM_FOLDER(InternetFolder),
    VM_FOLDER(ControlPanelFolder),
    VM_FOLDER(PrintersFolder),
    VM_FOLDER(SyncManagerFolder),
    VM_FOLDER(SyncSetupFolder),
    VM_FOLDER(ConflictFolder),
    VM_FOLDER(SyncResultsFolder),
    VM_FOLDER(RecycleBinFolder),
    VM_FOLDER(ConnectionsFolder),
    VM_FOLDER(Fonts),
    VM_FOLDER(Desktop),
    VM_FOLDER(Startup),
    VM_FOLDER(Programs),
    VM_FOLDER(StartMenu),
    VM_FOLDER(Recent),
    VM_FOLDER(SendTo),
    VM_FOLDER(Documents),
    VM_FOLDER(Favorites),
    VM_FOLDER(NetHood),
    VM_FOLDER(PrintHood),
    VM_FOLDER(Templates),
    VM_FOLDER(CommonStartup),
    VM_FOLDER(CommonPrograms),
    VM_FOLDER(CommonStartMenu),
    VM_FOLDER(PublicDesktop),
    VM_FOLDER(ProgramData),
    VM_FOLDER(CommonTemplates),
    VM_FOLDER(PublicDocuments),
    VM_FOLDER(RoamingAppData),
    VM_FOLDER(LocalAppData),
    VM_FOLDER(LocalAppDataLow),
    VM_FOLDER(InternetCache),
    VM_FOLDER(Cookies),
    VM_FOLDER(History),
    VM_FOLDER(System),
    VM_FOLDER(SystemX86),
    VM_FOLDER(Windows),
    VM_FOLDER(Profile),
    VM_FOLDER(Pictures),
    VM_FOLDER(ProgramFilesX86),
    VM_FOLDER(ProgramFilesCommonX86),
    VM_FOLDER(ProgramFilesX64),
    VM_FOLDER(ProgramFilesCommonX64),
    VM_FOLDER(ProgramFiles),
    VM_FOLDER(ProgramFilesCommon),
    VM_FOLDER(UserProgramFiles),
    VM_FOLDER(UserProgramFilesCommon),
    VM_FOLDER(AdminTools),
    VM_FOLDER(CommonAdminTools),
    VM_FOLDER(Music),
    VM_FOLDER(Videos),
    VM_FOLDER(Ringtones),
    VM_FOLDER(PublicPictures),
    VM_FOLDER(PublicMusic),
    VM_FOLDER(PublicVideos),
    VM_FOLDER(PublicRingtones),
    VM_FOLDER(ResourceDir),
    VM_FOLDER(LocalizedResourcesDir),
    VM_FOLDER(CommonOEMLinks),
    VM_FOLDER(CDBurning),
    VM_FOLDER(UserProfiles),
    VM_FOLDER(Playlists),
    VM_FOLDER(SamplePlaylists),
    VM_FOLDER(SampleMusic),
    VM_FOLDER(SamplePictures),
    VM_FOLDER(SampleVideos),
    VM_FOLDER(PhotoAlbums),
    VM_FOLDER(Public),
    VM_FOLDER(ChangeRemovePrograms),
    VM_FOLDER(AppUpdates),
    VM_FOLDER(AddNewPrograms),
    VM_FOLDER(Downloads),
    VM_FOLDER(PublicDownloads),
    VM_FOLDER(SavedSearches),
    VM_FOLDER(QuickLaunch),
    VM_FOLDER(Contacts),
    VM_FOLDER(SidebarParts),
    VM_FOLDER(SidebarDefaultParts),
    VM_FOLDER(PublicGameTasks),
    VM_FOLDER(GameTasks),
    VM_FOLDER(SavedGames),
    VM_FOLDER(Games),
    VM_FOLDER(SEARCH_MAPI),
    VM_FOLDER(SEARCH_CSC),
    VM_FOLDER(Links),
    VM_FOLDER(UsersFiles),
    VM_FOLDER(UsersLibraries),
    VM_FOLDER(SearchHome),
    VM_FOLDER(OriginalImages),
    VM_FOLDER(DocumentsLibrary),
    VM_FOLDER(MusicLibrary),
    VM_FOLDER(PicturesLibrary),
    VM_FOLDER(VideosLibrary),
    VM_FOLDER(RecordedTVLibrary),
    VM_FOLDER(HomeGroup),
    VM_FOLDER(HomeGroupCurrentUser),
    VM_FOLDER(DeviceMetadataStore),
    VM_FOLDER(Libraries),
    VM_FOLDER(PublicLibraries),
    VM_FOLDER(UserPinned),
    VM_FOLDER(ImplicitAppShortcuts),
    VM_FOLDER(AccountPictures),
    VM_FOLDER(PublicUserTiles),
    VM_FOLDER(AppsFolder),
    VM_FOLDER(StartMenuAllPrograms),
    VM_FOLDER(CommonStartMenuPlaces),
    VM_FOLDER(ApplicationShortcuts),
    VM_FOLDER(RoamingTiles),
    VM_FOLDER(RoamedTileImages),
    VM_FOLDER(Screenshots),
    VM_FOLDER(CameraRoll),
    VM_FOLDER(SkyDrive),
    VM_FOLDER(OneDrive),
    VM_FOLDER(SkyDriveDocuments),
    VM_FOLDER(SkyDrivePictures),
    VM_FOLDER(SkyDriveMusic),
    VM_FOLDER(SkyDriveCameraRoll),
    VM_FOLDER(SearchHistory),
    VM_FOLDER(SearchTemplates),
    VM_FOLDER(CameraRollLibrary),
    VM_FOLDER(SavedPictures),
    VM_FOLDER(SavedPicturesLibrary),
    VM_FOLDER(RetailDemo),
    VM_FOLDER(Device),
    VM_FOLDER(DevelopmentFiles),
    VM_FOLDER(Objects3D),
    VM_FOLDER(AppCaptures),
    VM_FOLDER(LocalDocuments),
    VM_FOLDER(LocalPictures),
    VM_FOLDER(LocalVideos),
    VM_FOLDER(LocalMusic),
    VM_FOLDER(LocalDownloads),
    VM_FOLDER(RecordedCalls),
    VM_FOLDER(AllAppMods),
    VM_FOLDER(CurrentAppMods),
    VM_FOLDER(AppDataDesktop),
    VM_FOLDER(AppDataDocuments),
    VM_FOLDER(AppDataFavorites),
    VM_FOLDER(AppDataProgramData),
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
