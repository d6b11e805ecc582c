#pragma once
// Where a test card's image comes from: the one already in the test-data
// folder, or, where the generator runs, a new one.

#include <string>

#include "support/cards.hpp"

namespace tav::test {

// Fills card.manifest from the finished image at card.image; false when there is none.
bool LoadExistingCard(Card& card);

// Fills card.manifest, or card.error when no image can be had.
void ObtainCardImage(Card& card, const std::string& kind, const std::string& clips);

}  // namespace tav::test
