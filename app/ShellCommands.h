#pragma once
// The commands of the main window as data: ids, menus, item texts, shortcuts,
// status-bar prompts, tooltips and the toolbar's order. The main frame builds
// its menus, shortcuts and toolbar from these tables and nothing else.

#include <array>
#include <span>

// Command ids, shared by menu items, shortcuts, toolbar buttons and prompts.
enum : int {
    ID_COMPRESS = 32771,
    ID_DECOMPRESS = 32772,
    ID_PLAY = 32777,
    ID_CHANGE_COMPARE_FILE = 32793,
    ID_COMPARE_STREAMS = 32794,
    ID_COMPARE_FRAMES = 32795,
    ID_PER_FRAME_CHART = 32796,
    ID_COMPARISON_VIEW = 32797,
    ID_FILE_IMPORT_VIDEO = 32798,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE_AS = 57604,  // Save Output
    ID_FILE_MRU_FILE1 = 57616,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

struct CShellCommand {
    int nId;
    const char* pszMenu;     // menu title the item sits in
    const char* pszText;     // item text; the part after a tab is the shortcut label
    const char* pszPrompt;   // status-bar prompt while the item or button is hovered
    const char* pszTooltip;  // toolbar tooltip
    const char* pszIcon;     // resource path of the toolbar picture, or nullptr
};

// The menus in menu-bar order.
inline constexpr std::array<const char*, 6> kMenuTitles = {"&File",      "&Process", "&Display",
                                                           "Statistics", "&View",    "&Help"};

// Menu items in menu order; nId 0 is a separator. The recent-file entries are
// inserted where ID_FILE_MRU_FILE1 stands.
std::span<const CShellCommand> ShellCommands();
// The command of nId, or nullptr.
const CShellCommand* FindShellCommand(int nId);

// Shortcut table in its order: the first entry that matches a key wins, so a
// key bound twice reaches only its first command.
struct CShellAccelerator {
    const char* pszKey;  // QKeySequence portable text
    int nId;
};
std::span<const CShellAccelerator> ShellAccelerators();

// Toolbar buttons, left to right, no separators.
inline constexpr std::array<int, 10> kToolbarCommands = {
    ID_FILE_MRU_FILE1, ID_FILE_OPEN,       ID_FILE_SAVE_AS,
    ID_PLAY,           ID_COMPRESS,        ID_DECOMPRESS,
    ID_COMPARE_FRAMES, ID_COMPARE_STREAMS, ID_CHANGE_COMPARE_FILE,
    ID_APP_EXIT};

// Texts of the status bar and the recent-file entries.
inline constexpr const char* kIdlePrompt = "Ready";
inline constexpr std::array<const char*, 3> kIndicatorTexts = {"CAP", "NUM", "SCRL"};
inline constexpr const char* kRecentEntryPrompt = "Open this document";
inline constexpr const char* kAppTitle = "Tavro";
inline constexpr const char* kDefaultDocumentName = "Untitled";
