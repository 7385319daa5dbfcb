// The console commands of the track lists: listings, list-file selection and solo.
#pragma once

#include "core/project_settings.hpp"

namespace varnow {

// 'lr': the record listing of the current record list, then waits for "c".
void listRecordReady(const ProjectSettings& settings);

// 'lp': the play listing of the current play list, then waits for "c".
void listPlayReady(const ProjectSettings& settings);

// 'df': the free space of every file system the record list writes to,
// and how long a recording of its armed inputs fits there.
void showRecordingRoom(const ProjectSettings& settings);

// 'pf' and 'rf': choose the current play or record list file.
void selectPlayList(ProjectSettings& settings);
void selectRecordList(ProjectSettings& settings);

// 'so': view and edit the solo flags.
void editSolo(ProjectSettings& settings);

}  // namespace varnow
