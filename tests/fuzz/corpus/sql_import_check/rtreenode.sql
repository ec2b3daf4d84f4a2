SELECT rtreenode(2, x'0000ffff');
