// Placeholder translation unit; replaced by the layout sources.
