#include "shared_state.h"
#include "taste/tnmanager.h"

namespace tonvera::test {

void forgetTasteStore() {
  TNManager& store = TNManager::sharedManager();
  store.likeSongs_.reset();
  store.hateSongs_.reset();
  store.likeArtists_.reset();
  store.hateArtists_.reset();
}

}  // namespace tonvera::test
