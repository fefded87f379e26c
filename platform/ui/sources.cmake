# Sources of platform/ui: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
