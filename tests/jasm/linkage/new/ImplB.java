public class ImplB extends BaseB { }
