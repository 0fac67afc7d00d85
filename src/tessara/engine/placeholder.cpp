// Placeholder translation unit; replaced by the engine sources.
