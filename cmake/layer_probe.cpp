// A layer's probe holds nothing of its own: it is the layer's library linked alone with what the layer
// declares it stands on, so that the linker names any symbol the layer takes from elsewhere.
