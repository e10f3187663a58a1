#pragma once

// The proxy that a drag carries: Label1 is a cart dragged from a deck, Label42 a file
// dragged from the cart list.
enum class DragProxy { None, Label1, Label42 };
