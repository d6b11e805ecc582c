#pragma once
// What the play check's worker tells the GUI, and the seam it decodes
// through. Called on the worker's thread; the GUI's side marshals each call.

#include <cstddef>
#include <expected>
#include <functional>
#include <string>

#include "recovery/row_plan.hpp"
#include "row_verify.hpp"

namespace tav::app {

using CheckOutcome = std::expected<preview::Verification, preview::PreviewError>;

// preview::VerifyPlanned; tests put a slow or blocked check in its place.
using RowVerifier = std::function<CheckOutcome(const std::string& source_path, const RowPlan& plan,
                                               const preview::VerifyOptions& options)>;

class PlayCheckReporter {
  public:
    virtual ~PlayCheckReporter() = default;
    // The video listed as number, whose file has this key (PlanKey), is
    // being decoded now; handled of listed videos have been dealt with.
    virtual void checking(const std::string& number, const std::string& key, std::size_t handled,
                          std::size_t listed) = 0;
    // Its outcome.
    virtual void checked(const std::string& number, const std::string& key,
                         const CheckOutcome& outcome) = 0;
    // Its check was stopped before the end: it stays unchecked.
    virtual void dropped(const std::string& key) = 0;
    // Every listed video has its outcome.
    virtual void all_checked(std::size_t listed) = 0;
};

}  // namespace tav::app
