#include "support/card_images.hpp"

namespace tav::test {

// Card images are laid out by Linux's file-system tools: the Windows tests
// read the ones the Linux build made (scripts/windows-check.sh).
void ObtainCardImage(Card& card, const std::string& kind, const std::string& clips) {
    if (LoadExistingCard(card)) return;
    card.error = kind + " (" + clips + " clips): no card at " + card.image.string() +
                 "; the Linux build makes the cards the Windows tests read";
}

}  // namespace tav::test
