// Lost its members.
public class LibG { }
