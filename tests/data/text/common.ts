Defaults = object(Speed = 0.5, Loop = 1, Order = array(2, 0, 1));
