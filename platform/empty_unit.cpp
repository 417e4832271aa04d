// Keeps a folder library linkable while it has no units of its own.
