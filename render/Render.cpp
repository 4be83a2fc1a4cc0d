// Strip rendering lives here.
