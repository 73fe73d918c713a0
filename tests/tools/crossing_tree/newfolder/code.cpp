int unplaced;
