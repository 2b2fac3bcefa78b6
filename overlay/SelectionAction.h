#pragma once

#include "annotation/AnnotationTool.h"

#include <optional>

namespace kelpie {

// What the overlay's owner should do with a confirmed region: open the
// editor with a tool chosen, open the editor, copy, save or pin it.
class SelectionAction {
public:
    // Case order of the actions.
    enum class Kind {
        annotate,
        edit,
        copy,
        save,
        pin,
    };

    static SelectionAction annotate(AnnotationTool tool) { return {Kind::annotate, tool}; }
    static SelectionAction edit() { return {Kind::edit, std::nullopt}; }
    static SelectionAction copy() { return {Kind::copy, std::nullopt}; }
    static SelectionAction save() { return {Kind::save, std::nullopt}; }
    static SelectionAction pin() { return {Kind::pin, std::nullopt}; }

    Kind kind() const { return m_kind; }
    // The chosen tool of an annotate action; absent for every other kind.
    std::optional<AnnotationTool> tool() const { return m_tool; }

    friend bool operator==(const SelectionAction&, const SelectionAction&) = default;

private:
    SelectionAction(Kind kind, std::optional<AnnotationTool> tool) : m_kind(kind), m_tool(tool) { }

    Kind m_kind;
    std::optional<AnnotationTool> m_tool;
};

} // namespace kelpie
