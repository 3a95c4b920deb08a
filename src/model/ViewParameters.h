#pragma once

#include <QtGlobal>

// What the user chose to see. Written by Backend on the GUI thread, copied whole by the reader
// thread before each capture. All fields start at 0.
struct ViewParameters
{
    qint32 scope = 0;     // a ListScope: which tracks the list shows
    qint32 page = 0;      // requested page of the track list
    quint64 station = 0;  // station filter, 0 = none
    quint64 track = 0;    // the one track of ListScope::Selection
    quint64 revision = 0; // raised at every change of the view or of the train selection
    quint64 train = 0;    // selected train; 0 lets the capture choose the first positioned one
    // The user chose no train: the capture selects none (no train carries this id).
    static constexpr quint64 noTrain = ~quint64(0);
};
