#include "platform_override.h"

namespace {

const MediaFolderPlatform* g_override = nullptr;

}  // namespace

const MediaFolderPlatform& GetMediaFolderPlatform() {
  return g_override ? *g_override : SystemMediaFolderPlatform();
}

void UseMediaFolderPlatform(const MediaFolderPlatform* platform) { g_override = platform; }
