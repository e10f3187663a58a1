#pragma once

#include "common/dragproxy.h"

#include <QByteArray>
#include <QDropEvent>
#include <QMimeData>

// A drag between the main window's controls carries one of the two proxy labels (Label1
// for a cart dragged from a deck, Label42 for a file dragged from the cart list) under a
// MIME type of our own. Drop targets accept that type only, and only from a drag that
// started in this process: a drag from another running copy would name a deck of that
// copy's table.
inline constexpr char kDragProxyMimeType[] = "application/x-airloom-proxy";

// The payload names the proxy.
inline QByteArray dragProxyPayload(DragProxy proxy) {
    switch (proxy) {
    case DragProxy::DeckCart:
        return QByteArrayLiteral("Label1");
    case DragProxy::ListFile:
        return QByteArrayLiteral("Label42");
    case DragProxy::None:
        break;
    }
    return {};
}

// Stores the proxy in mime (which a QDrag then owns). None stores nothing.
inline void setDragProxy(QMimeData& mime, DragProxy proxy) {
    if (proxy != DragProxy::None)
        mime.setData(QLatin1String(kDragProxyMimeType), dragProxyPayload(proxy));
}

// The proxy that mime carries; None for anything else (no data, other types, an unknown
// payload).
inline DragProxy dragProxyOf(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasFormat(QLatin1String(kDragProxyMimeType)))
        return DragProxy::None;
    const QByteArray payload = mime->data(QLatin1String(kDragProxyMimeType));
    if (payload == dragProxyPayload(DragProxy::DeckCart))
        return DragProxy::DeckCart;
    if (payload == dragProxyPayload(DragProxy::ListFile))
        return DragProxy::ListFile;
    return DragProxy::None;
}

// The proxy of a drag over or onto a widget of ours; None unless it started in this
// process.
inline DragProxy dragProxyOf(const QDropEvent& event) {
    if (event.source() == nullptr)
        return DragProxy::None;
    return dragProxyOf(event.mimeData());
}
