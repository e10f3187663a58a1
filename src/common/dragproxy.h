#pragma once

// What a drag carries: a cart dragged from a deck (its proxy control is Label1) or a file
// dragged from the cart list (Label42).
enum class DragProxy { None, DeckCart, ListFile };
