#pragma once
// A lost-header card's start region as the scan lists it: a "HEAD" row no
// movie header paired, ready to be rebuilt from the card's reference.

#include <optional>

#include "app_fixture.hpp"
#include "common/decimal.hpp"
#include "support/cards.hpp"

namespace tav::app::test {

// The first lost-header clip without sound; nothing when the card has none.
inline std::optional<cardgen::ManifestFile> FillLostHead(AppFixture& app,
                                                         const tav::test::Card& card) {
    for (const auto& f : card.with_state("lost-header")) {
        if (f.sound) continue;
        app.edit_tables([&](TableSet& t) {
            t.fragments.add_row({"0", "HEAD", dec(f.head_offset), "mdat",
                                 dec(f.head_offset + f.head_length), "0", "", "",
                                 f.date + " " + f.time, dec(f.head_length), "", "0", "0", "1", ""});
            t.source_field = card.image.string();
        });
        return f;
    }
    return std::nullopt;
}

// Picks the card's reference in the rebuild's file dialog.
inline void PickReference(AppFixture& app, const tav::test::Card& card,
                          const cardgen::ManifestFile& f) {
    app.dialogs.open_files.push_back(
        QString::fromStdString((card.image.parent_path() / f.reference).string()));
}

// The lost head listed, and the card's reference ready for the rebuild's dialog.
inline std::optional<cardgen::ManifestFile> ListLostHeadToRebuild(AppFixture& app,
                                                                  const tav::test::Card& card) {
    const auto f = FillLostHead(app, card);
    if (f) PickReference(app, card, *f);
    return f;
}

}  // namespace tav::app::test
