#include "app/ShellCommands.h"

namespace {

constexpr CShellCommand kCommands[] = {
    {ID_FILE_OPEN, "&File", "&Open...\tCtrl+O", "Open an existing document", "Open",
     ":/icons/open.png"},
    {ID_FILE_IMPORT_VIDEO, "&File", "&Import Video...",
     "Read a video of any kind into a raw QCIF stream", "Import Video", nullptr},
    {ID_FILE_SAVE_AS, "&File", "Save Output...\tCtrl+S", "Save the output data", "Save",
     ":/icons/save.png"},
    {0, "&File", nullptr, nullptr, nullptr, nullptr},
    {ID_FILE_MRU_FILE1, "&File", "Last File\tCtrl+L", "Open the most-recently used document",
     "Open last file", ":/icons/recent.png"},
    {0, "&File", nullptr, nullptr, nullptr, nullptr},
    {ID_APP_EXIT, "&File", "E&xit\tCtrl+X", "Quit application", "Exit", ":/icons/exit.png"},
    {ID_COMPRESS, "&Process", "&Compress\tCtrl+C", "Compress the loaded QCF stream", "Compress",
     ":/icons/compress.png"},
    {ID_DECOMPRESS, "&Process", "&Decompress\tCtrl+D",
     "Decompress the compressed data into a QCF stream", "Decompress", ":/icons/decompress.png"},
    {ID_PLAY, "&Display", "Play\tCtrl+P", "Play the loaded QCIF stream", "Play QCIF Stream",
     ":/icons/play.png"},
    {ID_COMPARE_FRAMES, "Statistics", "Compare Frames\tCtrl+F",
     "Calculate RMS Error and Peak SNR for a given frame", "Compare Frames",
     ":/icons/compare_frames.png"},
    {ID_COMPARE_STREAMS, "Statistics", "Compare Streams\tCtrl+S",
     "Calculate the mean RMS Error and Peak SNR for a given stream", "Compare Streams",
     ":/icons/compare_streams.png"},
    {ID_CHANGE_COMPARE_FILE, "Statistics", "Change Compare File\tCtrl+A",
     "Select another stream to against which to compare", "Change Comparison File",
     ":/icons/change_compare.png"},
    {ID_PER_FRAME_CHART, "Statistics", "Per-frame Chart...",
     "Plot the RMS Error or Peak SNR of every frame against the comparison file", "Per-frame Chart",
     nullptr},
    {ID_COMPARISON_VIEW, "Statistics", "Comparison View...",
     "Show the comparison file, the stream and their difference frame by frame", "Comparison View",
     nullptr},
    {ID_VIEW_TOOLBAR, "&View", "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar", nullptr},
    {ID_VIEW_STATUS_BAR, "&View", "&Status Bar", "Show or hide the status bar", "Toggle StatusBar",
     nullptr},
    {ID_APP_ABOUT, "&Help", "&About Tavro...\tF1",
     "Display program information and the version number", "About", nullptr},
};

constexpr CShellAccelerator kAccelerators[] = {
    {"Ctrl+A", ID_CHANGE_COMPARE_FILE},
    {"Ctrl+C", ID_COMPRESS},
    {"Ctrl+D", ID_DECOMPRESS},
    {"Ctrl+F", ID_COMPARE_FRAMES},
    {"Ctrl+L", ID_FILE_MRU_FILE1},
    {"Ctrl+O", ID_FILE_OPEN},
    {"Ctrl+P", ID_PLAY},
    {"Ctrl+S", ID_FILE_SAVE_AS},
    {"Ctrl+S", ID_COMPARE_STREAMS},
    {"F1", ID_APP_ABOUT},
    {"Ctrl+X", ID_APP_EXIT},
};

}  // namespace

std::span<const CShellCommand> ShellCommands() {
    return kCommands;
}

const CShellCommand* FindShellCommand(int nId) {
    for (const CShellCommand& command : kCommands) {
        if (command.nId == nId && nId != 0) {
            return &command;
        }
    }
    return nullptr;
}

std::span<const CShellAccelerator> ShellAccelerators() {
    return kAccelerators;
}
