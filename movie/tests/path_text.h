// Shape-record lists as short text and as the pen positions they visit, for
// the tests of the edge builder and of shapes.
#pragma once

#include <string>
#include <vector>

#include "platform/errors.h"
#include "swf/shape_records.h"

// "M(x,y)" a style change that moves, "S" one that does not (either followed
// by "/n" when it selects line style n), "L(dx,dy)", "C(cx,cy,ax,ay)", "E".
inline std::string Describe(const TSWFShapeRecordList& list) {
    std::string out;
    for (const auto& record : list) {
        if (!out.empty()) out += ' ';
        switch (record->RecordKind) {
            case kShapeRecordEnd:
                out += "E";
                break;
            case kShapeRecordStyleChange: {
                const auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
                out += change.StateMoveTo ? FormatStr("M(%d,%d)", change.DeltaX, change.DeltaY) : "S";
                if (change.StateLineStyle) out += FormatStr("/%u", unsigned(change.LineId));
                break;
            }
            case kShapeRecordStraightEdge: {
                const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
                out += FormatStr("L(%d,%d)", edge.DeltaX, edge.DeltaY);
                break;
            }
            case kShapeRecordCurvedEdge: {
                const auto& c = static_cast<const TSWFCurvedEdgeRecord&>(*record);
                out += FormatStr("C(%d,%d,%d,%d)", c.ControlDeltaX, c.ControlDeltaY, c.AnchorDeltaX, c.AnchorDeltaY);
                break;
            }
        }
    }
    return out;
}

inline size_t CountKind(const TSWFShapeRecordList& list, uint8_t kind) {
    size_t n = 0;
    for (const auto& record : list) n += record->RecordKind == kind;
    return n;
}

// The pen after every record, and the start of the contour it belongs to.
struct TWalked {
    TPoint pen, start;
};

inline std::vector<TWalked> Walk(const TSWFShapeRecordList& list) {
    std::vector<TWalked> out;
    TPoint pen, start;
    for (const auto& record : list) {
        switch (record->RecordKind) {
            case kShapeRecordStyleChange: {
                const auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
                if (change.StateMoveTo) pen = TPoint{change.DeltaX, change.DeltaY};
                start = pen;
                break;
            }
            case kShapeRecordStraightEdge: {
                const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
                pen.X += edge.DeltaX;
                pen.Y += edge.DeltaY;
                break;
            }
            case kShapeRecordCurvedEdge: {
                const auto& c = static_cast<const TSWFCurvedEdgeRecord&>(*record);
                pen.X += c.ControlDeltaX + c.AnchorDeltaX;
                pen.Y += c.ControlDeltaY + c.AnchorDeltaY;
                break;
            }
            default:
                break;
        }
        out.push_back({pen, start});
    }
    return out;
}
