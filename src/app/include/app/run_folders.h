#pragma once
// The folders a run of Lumivox works with:
//  - the program folder holds the executables, the FFmpeg program and the frame-filter module;
//  - the work folder holds lumivox.ini, FFmpeg.ini, the list files, comment.xml, comment.ini and
//    data.ini, and is the current folder of every job. It is the program folder when that is
//    writable (files beside the program, as users of the Windows program know them), else
//    Lumivox's folder in the user's data folder; LUMIVOX_HOME overrides both;
//  - the desktop folder is where movies go unless the settings name another save folder.
// Paths are UTF-8, absolute, without a trailing separator.

#include <optional>
#include <string>

struct RunFolders {
    std::string programFolder;
    std::string workFolder;
    std::string desktopFolder;
};

// What the choice of the work folder depends on, gathered from the system by discoverRunFolders.
struct WorkFolderInputs {
    std::string programFolder;
    bool programFolderWritable = false;
    std::string lumivoxHome;     // $LUMIVOX_HOME; empty when not set
    std::string userDataFolder;  // $XDG_DATA_HOME or ~/.local/share; empty when unknown
};

// The work folder for `inputs`, or nothing when there is none (no program folder that can be
// written and no data folder). Pure: nothing is created or looked at.
std::optional<std::string> chooseWorkFolder(const WorkFolderInputs& inputs);

// Finds the folders of this run and creates the work folder when it is missing. Nothing, with
// a one-line reason in `error`, when the program folder is unknown or no work folder can be
// found or created.
std::optional<RunFolders> discoverRunFolders(std::string& error);

// `folder` with one trailing separator, the form the job takes its folders in.
std::string withTrailingSeparator(const std::string& folder);
