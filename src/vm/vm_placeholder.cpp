// VM core placeholder
