#include "app/track_list_commands.hpp"

namespace varnow {

void listRecordReady(const ProjectSettings&) {}
void listPlayReady(const ProjectSettings&) {}
void selectPlayList(ProjectSettings&) {}
void selectRecordList(ProjectSettings&) {}
void editSolo(ProjectSettings&) {}

}  // namespace varnow
